// SPDX-License-Identifier: MPL-2.0
#include "plateforme/qr/code_qr.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

// Un vrai code, de côté impair : chaque caractère porte deux rangées de modules, zone calme
// comprise, un demi-bloc plein pour un module clair ; la dernière rangée, seule sur sa ligne,
// laisse le bas au fond.
TEST(CodeQr, TexteDeDemiBlocs) {
  const auto code = coderQr("http://192.168.1.20:8080/");
  ASSERT_TRUE(code);
  const int fin = code->cote + 4;
  ASSERT_EQ(fin % 2, 1);
  const auto clair = [&](int x, int y) { return y < fin && !code->noir(x, y); };
  std::string attendu;
  for (int y = -4; y < fin; y += 2) {
    for (int x = -4; x < fin; ++x) {
      const bool haut = clair(x, y);
      const bool bas = clair(x, y + 1);
      attendu += haut && bas ? "\u2588" : haut ? "\u2580" : bas ? "\u2584" : " ";
    }
    attendu += '\n';
  }
  EXPECT_EQ(qrEnTexte(*code), attendu);
}

}  // namespace
}  // namespace ravlo
