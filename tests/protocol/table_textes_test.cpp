#include "protocol/table_textes.hpp"

#include <gtest/gtest.h>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace ravlo {
namespace {

const std::filesystem::path racineTest = RAVLO_LOCALES_TEST;
const std::string refus = "L'iPhone refuse la connexion. Ouvre Ravlo sur l'iPhone, puis réessaie.";
const std::string refusAnglais =
    "The iPhone refuses the connection. Open Ravlo on the iPhone, then try again.";

TEST(TableTextes, CandidatsDuPlusPrecisAuPlusGeneral) {
  using V = std::vector<std::string>;
  EXPECT_EQ(TableTextes::candidats("fr_CA.UTF-8@euro"),
            (V{"fr_CA.UTF-8@euro", "fr_CA.utf8@euro", "fr_CA@euro", "fr.UTF-8@euro", "fr.utf8@euro",
               "fr@euro", "fr_CA.UTF-8", "fr_CA.utf8", "fr_CA", "fr.UTF-8", "fr.utf8", "fr"}));
  EXPECT_EQ(TableTextes::candidats("de_DE.8859-1"),
            (V{"de_DE.8859-1", "de_DE.iso88591", "de_DE", "de.8859-1", "de.iso88591", "de"}));
  EXPECT_EQ(TableTextes::candidats("en_GB.utf8"), (V{"en_GB.utf8", "en_GB", "en.utf8", "en"}));
  EXPECT_EQ(TableTextes::candidats("en"), (V{"en"}));
  for (const char* sans : {"", "C", "POSIX", "C.UTF-8", "_GB", "../en", "en/../../etc", "é"}) {
    EXPECT_EQ(TableTextes::candidats(sans), V{}) << sans;
  }
}

TEST(TableTextes, TraduitPourLaLocaleDonneeSinonLaPhraseFrancaise) {
  const TableTextes table(racineTest);
  EXPECT_EQ(table.texte(refus, "en"), refusAnglais);
  EXPECT_EQ(table.texte(refus, "en_GB.UTF-8@oxford"), refusAnglais) << "repli sur en";
  EXPECT_EQ(table.texte(refus, "de_DE.UTF-8"), refus) << "aucun catalogue";
  EXPECT_EQ(table.texte(refus, "C"), refus);
  EXPECT_EQ(table.texte(refus, ""), refus);
  EXPECT_EQ(table.texte("Une phrase sans traduction", "en"), "Une phrase sans traduction");
  EXPECT_EQ(table.texte("Phrase inconnue", "en"), "Phrase inconnue");
  const TableTextes vide(racineTest / "nulle-part");
  EXPECT_EQ(vide.texte(refus, "en"), refus);
}

// Une locale sans catalogue, ou dont le catalogue n'a pas la clé, lit le catalogue français ;
// la clé en dernier. Le catalogue d'essai y tient lieu de français : sa phrase se reconnaît.
TEST(TableTextes, RetombeSurLeCatalogueFrancaisPuisSurLaCle) {
  const auto racine = std::filesystem::path(::testing::TempDir()) / "ravlo_table_repli";
  std::filesystem::remove_all(racine);
  for (const char* locale : {"fr", "de"}) {
    std::filesystem::create_directories(racine / locale / "LC_MESSAGES");
  }
  std::filesystem::copy_file(racineTest / "en" / "LC_MESSAGES" / "Localizable.mo",
                             racine / "fr" / "LC_MESSAGES" / "Localizable.mo");
  // « de » : un catalogue valide, sans aucune entrée (l'en-tête seul, dans l'ordre de l'hôte).
  const std::uint32_t vide[] = {CatalogueTextes::magie, 0, 0, 28, 28, 0, 28};
  std::ofstream(racine / "de" / "LC_MESSAGES" / "Localizable.mo", std::ios::binary)
      .write(reinterpret_cast<const char*>(vide), sizeof vide);
  const TableTextes table(racine);
  for (const char* locale : {"de_DE.UTF-8", "es", "C", ""}) {
    EXPECT_EQ(table.texte(refus, locale), refusAnglais) << locale;
  }
  EXPECT_EQ(table.texte("Phrase inconnue", "de"), "Phrase inconnue");
  std::filesystem::remove_all(racine);
}

TEST(TableTextes, UnCatalogueAbimeCompteCommeAbsent) {
  const auto racine = std::filesystem::path(::testing::TempDir()) / "ravlo_table_textes";
  std::filesystem::remove_all(racine);
  for (const char* locale : {"en_GB", "en"}) {
    std::filesystem::create_directories(racine / locale / "LC_MESSAGES");
  }
  std::ofstream(racine / "en_GB" / "LC_MESSAGES" / "Localizable.mo") << "pas un catalogue";
  std::filesystem::copy_file(racineTest / "en" / "LC_MESSAGES" / "Localizable.mo",
                             racine / "en" / "LC_MESSAGES" / "Localizable.mo");
  const TableTextes table(racine);
  EXPECT_EQ(table.texte(refus, "en_GB"), refusAnglais) << "en_GB abîmé : on passe à en";
  // Une fois lu, un catalogue est gardé : le fichier peut disparaître.
  std::filesystem::remove_all(racine);
  EXPECT_EQ(table.texte(refus, "en"), refusAnglais);
}

TEST(TableTextes, TableDuProcessus) {
  lierTableTextes(racineTest);
  EXPECT_EQ(texte(refus, "en_US"), refusAnglais);
  EXPECT_EQ(texte(refus, "fr_FR.UTF-8"), refus);
  lierTableTextes(racineTest / "nulle-part");
  EXPECT_EQ(texte(refus, "en_US"), refus);
  lierTableTextes(racineTest);
}

// Plusieurs fils traduisent à la fois sur une table neuve, pendant qu'un autre relie la
// table du processus : chaque réponse est juste.
TEST(ConcurrenceTableTextes, LecturesSimultanees) {
  lierTableTextes(racineTest);
  const TableTextes table(racineTest);
  std::atomic<int> fausses = 0;
  {
    std::vector<std::jthread> fils;
    for (int f = 0; f < 4; ++f) {
      fils.emplace_back([&, f] {
        for (int i = 0; i < 200; ++i) {
          const bool anglais = (i + f) % 2 == 0;
          const std::string obtenu = table.texte(refus, anglais ? "en_GB" : "de_AT");
          if (obtenu != (anglais ? refusAnglais : refus)) ++fausses;
          if (texte(refus, "en") != refusAnglais) ++fausses;
        }
      });
    }
    fils.emplace_back([] {
      for (int i = 0; i < 50; ++i) lierTableTextes(racineTest);
    });
  }
  EXPECT_EQ(fausses.load(), 0);
}

}  // namespace
}  // namespace ravlo
