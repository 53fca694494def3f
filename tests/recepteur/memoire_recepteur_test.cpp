// SPDX-License-Identifier: MPL-2.0
// Ce que le récepteur garde d'un démarrage à l'autre : son dossier d'état, son identifiant,
// le carnet des expéditeurs (sa forme écrite face à des octets abîmés : fuzz_carnet).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "faux/hasard_deterministe.hpp"
#include "programmes/recepteur/etat_recepteur.hpp"
#include "recepteur/carnet_expediteurs.hpp"

namespace ravlo::essai_memoire_recepteur {
namespace {

TEST(EtatRecepteur, LeDossierDeLOptionPuisDeSystemdPuisDeLUtilisateur) {
  struct Cas {
    std::optional<std::filesystem::path> option;
    std::map<std::string, std::string> environnement;
    std::filesystem::path attendu;
  };
  const Cas cas[]{
      {"/srv/r", {{"STATE_DIRECTORY", "/var/lib/a"}}, "/srv/r"},
      {{}, {{"STATE_DIRECTORY", "/var/lib/a:/var/lib/b"}, {"HOME", "/h"}}, "/var/lib/a"},
      {{}, {{"STATE_DIRECTORY", "relatif"}, {"HOME", "/h"}}, "/h/.local/state/ravlo-recepteur"},
      {{}, {{"XDG_STATE_HOME", "/x"}, {"HOME", "/h"}}, "/x/ravlo-recepteur"},
      {{}, {}, ""},
  };
  for (const auto& c : cas) {
    const auto variable = [&](const char* nom) -> const char* {
      const auto v = c.environnement.find(nom);
      return v == c.environnement.end() ? nullptr : v->second.c_str();
    };
    EXPECT_EQ(dossierEtatRecepteur(c.option, variable), c.attendu) << c.attendu;
  }
}

struct DossierTemporaire {
  std::filesystem::path chemin = std::filesystem::temp_directory_path() /
                                 ("ravlo-memoire-" + std::to_string(::getpid()) + "-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
  ~DossierTemporaire() { std::filesystem::remove_all(chemin); }
};

// Tiré une fois, relu ensuite ; un fichier abîmé en donne un neuf ; un fichier qu'un autre
// peut écrire n'est pas cru, ni remplacé.
TEST(EtatRecepteur, IdentifiantTireUneFoisPuisRelu) {
  DossierTemporaire d;
  const auto dossier = d.chemin / "etat";
  HasardDeterministe hasard(1);
  const auto premier = identifiantRecepteur(dossier, hasard);
  ASSERT_TRUE(premier.has_value()) << premier.error();
  EXPECT_EQ(std::filesystem::status(dossier).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
  EXPECT_EQ(identifiantRecepteur(dossier, hasard), premier);
  std::string lu;
  std::getline(std::ifstream(dossier / "identifiant"), lu);
  EXPECT_EQ(lu, ServiceRavlo::enHexadecimal(*premier));

  std::ofstream(dossier / "identifiant") << "pas un identifiant\n";
  const auto neuf = identifiantRecepteur(dossier, hasard);
  ASSERT_TRUE(neuf.has_value()) << neuf.error();
  EXPECT_NE(neuf, premier);
  EXPECT_EQ(identifiantRecepteur(dossier, hasard), neuf);

  ::chmod((dossier / "identifiant").c_str(), 0620);
  EXPECT_FALSE(identifiantRecepteur(dossier, hasard).has_value());
}

SecretPaire paire(std::uint8_t n) {
  SecretPaire p;
  p.identifiant.fill(n);
  p.psk.octets().fill(static_cast<std::uint8_t>(0xA0 + n));
  return p;
}

// Plein, le carnet oublie celui venu le moins récemment, pas le premier retenu ; un nom trop
// long pour la forme écrite est raccourci ; tout survit à l'écriture.
TEST(CarnetExpediteurs, BorneOublieLePlusAncienEtSeRelit) {
  CarnetExpediteurs c;
  for (std::uint8_t n = 0; n < CarnetExpediteurs::tailleMax; ++n)
    c.retenir(paire(n), "Poste " + std::to_string(n), 100 + n);
  EXPECT_TRUE(c.noterVenue(paire(0).identifiant, 500));
  c.retenir(paire(3), "Poste 3 renommé", 501);  // même paire : mise à jour, pas d'ajout
  c.retenir(paire(99), std::string(300, 'x'), 502);
  ASSERT_EQ(c.expediteurs().size(), CarnetExpediteurs::tailleMax);
  EXPECT_EQ(c.chercher(paire(1).identifiant), nullptr) << "venu le moins récemment";
  ASSERT_NE(c.chercher(paire(0).identifiant), nullptr);
  EXPECT_EQ(c.chercher(paire(3).identifiant)->nom, "Poste 3 renommé");
  EXPECT_EQ(c.chercher(paire(99).identifiant)->nom.size(), 128u);
  EXPECT_EQ(c.chercher(paire(99).identifiant)->paire, paire(99));
  EXPECT_FALSE(c.noterVenue(paire(1).identifiant, 503));

  const auto relu = CarnetExpediteurs::lire(c.ecrire());
  ASSERT_TRUE(relu.has_value());
  EXPECT_EQ(*relu, c);
  c.retenir(paire(7), "Poste 7", 600);
  EXPECT_EQ(c.oublier("Poste 7"), 1u);
  EXPECT_EQ(c.oublier("Poste 7"), 0u);
}

TEST(CarnetExpediteurs, FormeEcriteAbimeeRefusee) {
  CarnetExpediteurs c;
  c.retenir(paire(1), "Salon", 10);
  c.retenir(paire(2), "Cuisine", -5);
  const Octets bon = c.ecrire();
  ASSERT_TRUE(CarnetExpediteurs::lire(bon).has_value());
  for (std::size_t n = 0; n < bon.size(); ++n) {
    const auto lu = CarnetExpediteurs::lire(VueOctets(bon).first(n));
    ASSERT_FALSE(lu.has_value()) << n;
    EXPECT_EQ(lu.error().cas, CasErreurCarnet::tronque) << n;
  }
  const std::size_t second = 2 + CarnetExpediteurs::tailleFixeExpediteur + 5;
  const auto abime = [&](auto changer) {
    Octets o = bon;
    changer(o);
    return o;
  };
  const struct {
    const char* nom;
    Octets octets;
    CasErreurCarnet cas;
  } cas[]{
      {"version", abime([](Octets& o) { o[0] = 2; }), CasErreurCarnet::versionInconnue},
      {"nombre", abime([](Octets& o) { o[1] = 17; }), CasErreurCarnet::tropDExpediteurs},
      {"octet en trop", abime([](Octets& o) { o.push_back(0); }), CasErreurCarnet::octetsEnTrop},
      {"un de moins annoncé", abime([](Octets& o) { o[1] = 1; }), CasErreurCarnet::octetsEnTrop},
      {"nom de 129 octets", abime([](Octets& o) { o[2 + 56] = 129; }),
       CasErreurCarnet::nomInvalide},
      {"nom hors UTF-8", abime([](Octets& o) { o[2 + 57] = 0xC0; }), CasErreurCarnet::nomInvalide},
      {"identifiant en double",
       abime([&](Octets& o) { std::fill_n(o.begin() + second, 16, std::uint8_t{1}); }),
       CasErreurCarnet::identifiantEnDouble},
  };
  for (const auto& x : cas) {
    const auto lu = CarnetExpediteurs::lire(x.octets);
    ASSERT_FALSE(lu.has_value()) << x.nom;
    EXPECT_EQ(lu.error().cas, x.cas) << x.nom;
  }
}

}  // namespace
}  // namespace ravlo::essai_memoire_recepteur
