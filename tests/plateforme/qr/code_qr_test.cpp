// SPDX-License-Identifier: MPL-2.0
#include "plateforme/qr/code_qr.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace ravlo {
namespace {

// Capacités en mode octet, correction M : version 1 = 14 octets, 2 = 26, 3 = 42, 4 = 62,
// 40 = 2331 ; le côté d'une version v est 17 + 4v.
TEST(CodeQr, PlusPetiteVersionQuiTientLeTexte) {
  const struct {
    std::size_t taille;
    int cote;  // 0 : pas de code
  } cas[] = {{0, 0},   {1, 21},  {14, 21}, {15, 25},    {26, 25},
             {27, 29}, {42, 29}, {43, 33}, {2331, 177}, {2332, 0}};
  for (const auto& c : cas) {
    const auto code = coderQr(std::string(c.taille, 'a'));
    if (c.cote == 0) {
      EXPECT_FALSE(code) << c.taille;
      continue;
    }
    ASSERT_TRUE(code) << c.taille;
    EXPECT_EQ(code->cote, c.cote) << c.taille;
    EXPECT_EQ(code->modules.size(), static_cast<std::size_t>(c.cote * c.cote));
  }
}

// Les repères fixes du symbole, à leur place et dans leur sens : trois carrés de
// positionnement, la ligne de synchronisation, le module noir au coin bas gauche. Une
// matrice transposée, retournée ou inversée les déplace.
TEST(CodeQr, ReperesALeurPlace) {
  const auto code = coderQr("http://[fd00::1234:5678:9abc:def0]:8080/");
  ASSERT_TRUE(code);
  const int n = code->cote;
  for (const auto& [ox, oy] : {std::pair{0, 0}, std::pair{n - 7, 0}, std::pair{0, n - 7}})
    for (int dy = 0; dy < 7; ++dy)
      for (int dx = 0; dx < 7; ++dx) {
        const int anneau = std::max(std::abs(dx - 3), std::abs(dy - 3));
        EXPECT_EQ(code->noir(ox + dx, oy + dy), anneau != 2)
            << "repère " << ox << ',' << oy << " module " << dx << ',' << dy;
      }
  for (int x = 8; x < n - 8; ++x) EXPECT_EQ(code->noir(x, 6), x % 2 == 0) << x;
  EXPECT_TRUE(code->noir(8, n - 8));
  EXPECT_FALSE(code->noir(-1, 0));
  EXPECT_FALSE(code->noir(n, n - 1));
}

// Relit le texte en modules clairs : une rangée par moitié de caractère.
std::vector<std::vector<bool>> relire(const std::string& texte, std::size_t& lignes) {
  std::vector<std::vector<bool>> clairs;
  lignes = 0;
  std::vector<bool> haut;
  std::vector<bool> bas;
  for (std::size_t i = 0; i < texte.size();) {
    if (texte[i] == '\n') {
      clairs.push_back(haut);
      clairs.push_back(bas);
      haut.clear();
      bas.clear();
      ++lignes;
      ++i;
    } else if (texte[i] == ' ') {
      haut.push_back(false);
      bas.push_back(false);
      ++i;
    } else {
      const std::string c = texte.substr(i, 3);
      EXPECT_TRUE(c == "\u2588" || c == "\u2580" || c == "\u2584") << "caractère à " << i;
      haut.push_back(c != "\u2584");
      bas.push_back(c != "\u2580");
      i += 3;
    }
  }
  EXPECT_TRUE(haut.empty()) << "dernière ligne sans fin";
  return clairs;
}

// Un vrai code, de côté impair, se relit module pour module, zone calme comprise ; la dernière
// rangée, seule sur sa ligne, laisse le bas au fond.
TEST(CodeQr, TexteDeDemiBlocs) {
  const auto code = coderQr("http://192.168.1.20:8080/");
  ASSERT_TRUE(code);
  const int large = code->cote + 8;
  std::size_t lignes = 0;
  const auto clairs = relire(qrEnTexte(*code), lignes);
  EXPECT_EQ(lignes, static_cast<std::size_t>((large + 1) / 2));
  ASSERT_EQ(clairs.size(), 2 * lignes);
  for (int y = 0; y < large; ++y) {
    ASSERT_EQ(clairs[static_cast<std::size_t>(y)].size(), static_cast<std::size_t>(large));
    for (int x = 0; x < large; ++x)
      EXPECT_EQ(clairs[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)],
                !code->noir(x - 4, y - 4))
          << x << ',' << y;
  }
  for (bool clair : clairs.back()) EXPECT_FALSE(clair);
}

}  // namespace
}  // namespace ravlo
