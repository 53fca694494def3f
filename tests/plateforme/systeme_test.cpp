// SPDX-License-Identifier: MPL-2.0
// Le poste : locale des textes, table de textes sur le disque, démarrage avec la session,
// modèle observable.
#include "plateforme/systeme.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>

#include "plateforme/demarrage_auto.hpp"
#include "plateforme/fichier_prive.hpp"
#include "plateforme/modele_observable.hpp"
#include "plateforme/table_textes.hpp"
#include "protocol/textes/catalogue_essai.hpp"

namespace ravlo {
namespace {

namespace fs = std::filesystem;
using Environnement = std::map<std::string, std::string>;

// Les variables d'environnement lues dans `e` (absentes : nullptr).
auto lecteur(const Environnement& e) {
  return [&e](const char* nom) -> const char* {
    const auto trouvee = e.find(nom);
    return trouvee == e.end() ? nullptr : trouvee->second.c_str();
  };
}

// Le choix de gettext, variable par variable ; LANGUAGE n'a de poids que hors de C et POSIX.
TEST(LocaleDesTextes, CommeGettext) {
  const std::pair<Environnement, std::string> cas[] = {
      {{}, "C"},
      {{{"LANG", "fr_FR.UTF-8"}}, "fr_FR.UTF-8"},
      {{{"LANG", "fr_FR.UTF-8"}, {"LC_MESSAGES", "en_GB.UTF-8"}}, "en_GB.UTF-8"},
      {{{"LC_MESSAGES", "fr_FR.UTF-8"}, {"LC_ALL", "en_US.UTF-8"}}, "en_US.UTF-8"},
      {{{"LC_ALL", ""}, {"LANG", "en_US.UTF-8"}}, "en_US.UTF-8"},
      {{{"LANG", "fr_FR.UTF-8"}, {"LANGUAGE", "en:fr"}}, "en:fr"},
      {{{"LC_ALL", "fr_FR.UTF-8"}, {"LANGUAGE", "en"}}, "en"},
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", ""}}, "en_US.UTF-8"},
      {{{"LANGUAGE", "en"}}, "C"},
      {{{"LC_ALL", "C"}, {"LANG", "fr_FR.UTF-8"}, {"LANGUAGE", "en"}}, "C"},
      {{{"LANG", "POSIX"}, {"LANGUAGE", "en"}}, "POSIX"},
      {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "en"}}, "en"},
  };
  for (const auto& [environnement, attendue] : cas) {
    std::string decrit;
    for (const auto& [nom, valeur] : environnement) decrit += nom + "=" + valeur + " ";
    EXPECT_EQ(localeDesTextes(lecteur(environnement)), attendue) << decrit;
  }
}

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
  const auto racine = fs::path(::testing::TempDir()) / "ravlo_table_textes";
  fs::remove_all(racine);
  const auto mo = [&](const char* locale) {
    fs::create_directories(racine / locale / "LC_MESSAGES");
    return racine / locale / "LC_MESSAGES" / "ravlo-link.mo";
  };
  fs::copy_file(essai::moAnglais, mo("fr"));
  fs::copy_file(essai::moAnglais, mo("en"));
  std::ofstream(mo("en_GB")) << "pas un catalogue";
  // « de » : un catalogue valide sans aucune entrée (l'en-tête seul, dans l'ordre de l'hôte).
  const std::uint32_t vide[] = {CatalogueTextes::magie, 0, 0, 28, 28, 0, 28};
  std::ofstream(mo("de"), std::ios::binary).write(reinterpret_cast<const char*>(vide), sizeof vide);
  const TableTextes table(racine);
  for (const char* locale : {"en_GB.UTF-8@oxford", "de_DE.UTF-8", "es", "C", ""})
    EXPECT_EQ(table.texte(essai::refus, locale), essai::refusAnglais) << locale;
  EXPECT_EQ(table.texte("Phrase inconnue", "de"), "Phrase inconnue");
  EXPECT_EQ(TableTextes(racine / "nulle-part").texte(essai::refus, "en"), essai::refus);
  fs::remove_all(racine);
}

// L'entrée de session écrite, masquée par un outil du bureau (désactivée sans être supprimée,
// la réactiver la réécrit), retirée ; un dossier impossible (un fichier à sa place) : l'erreur
// revient.
TEST(DemarrageAutoXdg, EcritMasqueEtRetireLEntreeDeSession) {
  const fs::path dossier =
      fs::temp_directory_path() / ("ravlo-demarrage-" + std::to_string(getpid()));
  fs::remove_all(dossier);
  DemarrageAutoXdg demarrage(dossier, "ravlo-link");
  EXPECT_FALSE(demarrage.actif());
  ASSERT_FALSE(demarrage.changer(true));
  EXPECT_TRUE(demarrage.actif());
  const std::string contenu(
      std::istreambuf_iterator<char>(std::ifstream(demarrage.fichier()).rdbuf()), {});
  EXPECT_NE(contenu.find("\nExec=ravlo-link\n"), std::string::npos) << contenu;
  std::ofstream(demarrage.fichier(), std::ios::app) << "Hidden=true\n";
  EXPECT_FALSE(demarrage.actif());
  ASSERT_FALSE(demarrage.changer(true));
  EXPECT_TRUE(demarrage.actif());
  ASSERT_FALSE(demarrage.changer(false));
  EXPECT_FALSE(fs::exists(demarrage.fichier()));
  fs::remove_all(dossier);
  std::ofstream(dossier) << "";
  EXPECT_TRUE(demarrage.changer(true));
  EXPECT_FALSE(demarrage.actif());
  fs::remove(dossier);
}

struct Modele final : ModeleObservable {
  std::string nom;
  void changerNom(std::string n) { changer(nom, std::move(n)); }
};

// Prévenu seulement quand la valeur change ; le jeton désabonne, même en pleine notification.
TEST(ModeleObservable, ChangementsSeulementEtJetonQuiDesabonne) {
  Modele m;
  std::vector<std::string> vus;
  int second = 0;
  Abonnement b;
  Abonnement a = m.observer([&] {
    vus.push_back(m.nom);
    b.resilier();  // le second ne doit plus être prévenu, même pour ce changement-ci
  });
  b = m.observer([&] { ++second; });
  m.changerNom("a");
  m.changerNom("a");
  m.changerNom("b");
  EXPECT_EQ(vus, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(second, 0);
  {
    Abonnement c = std::move(a);
  }
  m.changerNom("c");
  EXPECT_EQ(vus.size(), 2u) << "jeton détruit : désabonné";
}

// Un secret sur le disque : lisible de son seul propriétaire, remplacé en entier, et refusé
// quand un autre a pu l'écrire.
TEST(FichierPrive, EcritLitEtRefuseCeQuiNEstPasPrive) {
  const fs::path dossier = fs::path(::testing::TempDir()) / ("prive-" + std::to_string(::getpid()));
  fs::remove_all(dossier);
  const fs::path chemin = dossier / "sous" / "secret";
  EXPECT_EQ(lireFichierPrive(chemin, 64).value(), std::nullopt);
  ASSERT_TRUE(ecrireFichierPrive(chemin, Octets{1, 2, 3}));
  ASSERT_TRUE(ecrireFichierPrive(chemin, Octets{4, 5}));
  EXPECT_EQ(lireFichierPrive(chemin, 64).value(), Octets({4, 5}));
  EXPECT_EQ(fs::status(chemin).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(chemin.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(std::distance(fs::directory_iterator(chemin.parent_path()), fs::directory_iterator{}),
            1)
      << "un fichier temporaire est resté";
  EXPECT_FALSE(lireFichierPrive(chemin, 1)) << "plus grand que permis";
  fs::permissions(chemin, fs::perms::group_read, fs::perm_options::add);
  EXPECT_FALSE(lireFichierPrive(chemin, 64)) << "lisible du groupe";
  ASSERT_TRUE(effacerFichierPrive(chemin));
  EXPECT_TRUE(effacerFichierPrive(chemin));
  EXPECT_EQ(lireFichierPrive(chemin, 64).value(), std::nullopt);
  fs::remove_all(dossier);

  // Le reste du choix du dossier d'état : celui du récepteur, qui le prend d'ici.
  for (const auto& [environnement, attendu] :
       {std::pair<Environnement, fs::path>{{{"XDG_STATE_HOME", "relatif"}, {"HOME", "/h"}},
                                           "/h/.local/state/app"},
        {{{"HOME", ""}}, ""}})
    EXPECT_EQ(dossierEtatUtilisateur("app", lecteur(environnement)), attendu);
}

}  // namespace
}  // namespace ravlo
