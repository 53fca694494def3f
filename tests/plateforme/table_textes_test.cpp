// SPDX-License-Identifier: MPL-2.0
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plateforme/table_textes.hpp"
#include "protocol/textes/catalogue_essai.hpp"

namespace ravlo {
namespace {

// La table sur le disque : catalogue choisi selon la locale, replis.
using essai::moAnglais;
using essai::refus;
using essai::refusAnglais;

TEST(TableTextes, CandidatsDuPlusPrecisAuPlusGeneral) {
  using V = std::vector<std::string>;
  EXPECT_EQ(TableTextes::candidats("de_DE.8859-1@euro"),
            (V{"de_DE.8859-1@euro", "de_DE.iso88591@euro", "de_DE@euro", "de.8859-1@euro",
               "de.iso88591@euro", "de@euro", "de_DE.8859-1", "de_DE.iso88591", "de_DE",
               "de.8859-1", "de.iso88591", "de"}));
  for (const char* sans : {"", "C", "POSIX", "C.UTF-8", "_GB", "../en", "en/../../etc", "é"}) {
    EXPECT_EQ(TableTextes::candidats(sans), V{}) << sans;
  }
  EXPECT_EQ(TableTextes::candidatsDeLaListe("en_GB:de::en:fr_FR"),
            (V{"en_GB", "en", "de", "fr_FR", "fr"}));
  EXPECT_EQ(TableTextes::candidatsDeLaListe("fr_CA:en"), (V{"fr_CA", "fr"}));
  EXPECT_EQ(TableTextes::candidatsDeLaListe("de:C:en"), V{"de"});
  EXPECT_EQ(TableTextes::candidatsDeLaListe("POSIX:en"), V{});
}

// Un catalogue abîmé compte comme absent ; une locale sans catalogue, ou dont le catalogue
// n'a pas la clé, lit le catalogue français (ici celui d'essai) ; la clé en dernier.
TEST(TableTextes, ReplisDuPlusPrecisAuFrancaisPuisALaCle) {
  const auto racine = std::filesystem::path(::testing::TempDir()) / "ravlo_table_textes";
  std::filesystem::remove_all(racine);
  for (const char* locale : {"fr", "de", "en_GB", "en"})
    std::filesystem::create_directories(racine / locale / "LC_MESSAGES");
  std::filesystem::copy_file(moAnglais, racine / "fr" / "LC_MESSAGES" / "ravlo-link.mo");
  std::filesystem::copy_file(moAnglais, racine / "en" / "LC_MESSAGES" / "ravlo-link.mo");
  std::ofstream(racine / "en_GB" / "LC_MESSAGES" / "ravlo-link.mo") << "pas un catalogue";
  // « de » : un catalogue valide sans aucune entrée (l'en-tête seul, dans l'ordre de l'hôte).
  const std::uint32_t vide[] = {CatalogueTextes::magie, 0, 0, 28, 28, 0, 28};
  std::ofstream(racine / "de" / "LC_MESSAGES" / "ravlo-link.mo", std::ios::binary)
      .write(reinterpret_cast<const char*>(vide), sizeof vide);
  const TableTextes table(racine);
  for (const char* locale : {"en_GB.UTF-8@oxford", "de_DE.UTF-8", "es", "C", ""})
    EXPECT_EQ(table.texte(refus, locale), refusAnglais) << locale;
  EXPECT_EQ(table.texte("Phrase inconnue", "de"), "Phrase inconnue");
  EXPECT_EQ(TableTextes(racine / "nulle-part").texte(refus, "en"), refus);
  std::filesystem::remove_all(racine);
}

}  // namespace
}  // namespace ravlo
