// SPDX-License-Identifier: MPL-2.0
// Les catalogues livrés face aux clés que le code passe à la table.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "protocol/textes/catalogue_textes.hpp"

namespace ravlo {
namespace {

// Les msgid d'un modèle .pot écrit par xgettext, en-tête (clé vide) exclu.
std::vector<std::string> clesExtraites() {
  std::ifstream flux(RAVLO_CLES_TEXTES);
  std::vector<std::string> cles;
  bool dansMsgid = false;
  for (std::string ligne; std::getline(flux, ligne);) {
    if (ligne.starts_with("msgid \"")) cles.emplace_back();
    dansMsgid = ligne.starts_with("msgid \"") || (dansMsgid && ligne.starts_with('"'));
    for (std::size_t i = ligne.find('"') + 1; dansMsgid && i + 1 < ligne.size(); ++i) {
      char c = ligne[i];
      if (c == '\\') {
        c = ligne[++i];
        c = c == 'n' ? '\n' : c == 't' ? '\t' : c;
      }
      cles.back() += c;
    }
  }
  std::erase(cles, std::string{});
  return cles;
}

// Les marques que remplit la table (« %lld », « %s », et toute autre conversion de printf),
// dans l'ordre ; « %% » n'en est pas une.
std::vector<std::string> marques(const std::string& texte) {
  static const std::regex marque(R"(%%|%[-+ #0-9.$]*(hh|h|ll|l|L|j|z|t)?[a-zA-Z@])");
  std::vector<std::string> trouvees;
  for (std::sregex_iterator m(texte.begin(), texte.end(), marque), fin; m != fin; ++m) {
    if (m->str() != "%%") trouvees.push_back(m->str());
  }
  return trouvees;
}

// L'anglais traduit chaque clé ; le français n'a de ligne que pour une clé qui ne dit pas
// encore ce que lit l'utilisateur, les autres s'affichant telles quelles. Ce qui est lu garde
// les marques de la clé.
TEST(Catalogues, ChaqueCleSeLitSansAutreSystemeAvecLesMemesMarques) {
  const auto cles = clesExtraites();
  // L'extraction voit les clés écrites en plusieurs morceaux.
  EXPECT_NE(std::ranges::find(cles,
                              "Cet ordinateur n'a pas de sortie de son à capter (code %lld). "
                              "Choisis une sortie dans les réglages du son, puis relance "
                              "l'envoi."),
            cles.end());
  // Les mots d'un autre système ne doivent rester dans rien de ce que lit l'utilisateur.
  const std::regex autreSysteme(R"(\bMac\b|iPhone|macOS|Réglages Système|MIDI)");
  for (const auto& [locale, traduitTout] : {std::pair{"fr", false}, {"en", true}}) {
    std::ifstream flux(
        std::filesystem::path(RAVLO_LOCALES) / locale / "LC_MESSAGES" / "ravlo-link.mo",
        std::ios::binary);
    const auto traductions =
        CatalogueTextes::lire(Octets(std::istreambuf_iterator<char>(flux), {}));
    ASSERT_TRUE(traductions.has_value()) << locale;
    for (const std::string& cle : cles) {
      const auto traduction = traductions->traduire(cle);
      EXPECT_TRUE(traduction || !traduitTout) << locale << " n'a pas : " << cle;
      const std::string lu(traduction.value_or(cle));
      EXPECT_EQ(marques(lu), marques(cle)) << locale << " : " << lu;
      EXPECT_FALSE(std::regex_search(lu, autreSysteme)) << locale << " : " << lu;
    }
  }
}

}  // namespace
}  // namespace ravlo
