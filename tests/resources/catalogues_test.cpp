// Les catalogues livrés face aux clés que le code passe à la table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "protocol/catalogue_textes.hpp"
#include "protocol/table_textes.hpp"

namespace ravlo {
namespace {

const std::filesystem::path racine = RAVLO_LOCALES;

// Les msgid d'un modèle .pot écrit par xgettext, en-tête (clé vide) exclu.
std::vector<std::string> clesExtraites() {
  std::ifstream flux(RAVLO_CLES_TEXTES);
  std::vector<std::string> cles;
  bool dansMsgid = false;
  for (std::string ligne; std::getline(flux, ligne);) {
    if (ligne.starts_with("msgid ")) {
      cles.emplace_back();
      dansMsgid = true;
      ligne.erase(0, 6);
    } else if (!ligne.starts_with('"')) {
      dansMsgid = false;
    }
    if (!dansMsgid || ligne.size() < 2) continue;
    for (std::size_t i = 1; i + 1 < ligne.size(); ++i) {
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

CatalogueTextes catalogue(const std::string& locale) {
  std::ifstream flux(racine / locale / "LC_MESSAGES" / "Localizable.mo", std::ios::binary);
  const Octets octets((std::istreambuf_iterator<char>(flux)), std::istreambuf_iterator<char>());
  auto lu = CatalogueTextes::lire(octets);
  EXPECT_TRUE(lu.has_value()) << locale;
  return lu.value_or(CatalogueTextes{});
}

TEST(Catalogues, ChaqueCleDuCodeEstTraduiteAvecLesMemesMarques) {
  const auto cles = clesExtraites();
  // L'extraction voit chaque façon dont le code passe ses clés : ravlo::texte sur plusieurs
  // lignes, texte dans un modèle à remplir, un nom d'étape, texte dans un programme.
  for (const char* attendue :
       {"L'iPhone refuse la connexion. Ouvre Ravlo sur l'iPhone, puis réessaie.",
        "Le son de ce Mac n'a pas pu être capté (étape « %s », code %lld). Quitte Ravlo Link, "
        "rouvre-le, puis relance l'envoi.",
        "format du tap", "Code refusé"}) {
    EXPECT_NE(std::find(cles.begin(), cles.end(), attendue), cles.end()) << attendue;
  }
  // Les mots d'un autre système ne doivent rester dans aucune traduction.
  const std::regex autreSysteme(R"(\bMac\b|iPhone|macOS|Réglages Système|MIDI)");
  for (const char* locale : {"fr", "en"}) {
    const CatalogueTextes traductions = catalogue(locale);
    for (const std::string& cle : cles) {
      const auto traduction = traductions.traduire(cle);
      if (!traduction) {
        ADD_FAILURE() << locale << " n'a pas : " << cle;
        continue;
      }
      const std::string texte(*traduction);
      EXPECT_EQ(marques(texte), marques(cle)) << locale << " : " << texte;
      EXPECT_FALSE(std::regex_search(texte, autreSysteme)) << locale << " : " << texte;
    }
  }
}

TEST(Catalogues, LaLocaleChoisitLaLangueEtLesAutresLisentLeFrancais) {
  const TableTextes table(racine);
  const std::string refus =
      "L'iPhone refuse la connexion. Ouvre Ravlo sur l'iPhone, puis réessaie.";
  const std::string francais =
      "Le récepteur refuse la connexion. Ouvre l'app Ravlo ou lance ravlo-recepteur, puis "
      "réessaie.";
  const std::string anglais =
      "The receiver refuses the connection. Open the Ravlo app or start ravlo-recepteur, then "
      "try again.";
  for (const auto& [locale, attendu] :
       std::vector<std::pair<std::string, std::string>>{{"fr_FR.UTF-8", francais},
                                                        {"fr_CA", francais},
                                                        {"en_US.UTF-8", anglais},
                                                        {"en", anglais},
                                                        {"de_DE.UTF-8", francais},
                                                        {"C.UTF-8", francais},
                                                        {"", francais}}) {
    EXPECT_EQ(table.texte(refus, locale), attendu) << locale;
  }
  EXPECT_EQ(table.texte("format du tap", "fr_BE"), "format de la capture");
}

}  // namespace
}  // namespace ravlo
