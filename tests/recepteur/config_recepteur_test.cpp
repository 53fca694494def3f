// SPDX-License-Identifier: MPL-2.0
// Ce que le récepteur lit au démarrage. Son fichier de configuration : ses lignes, ses refus
// (fichier et ligne nommés), le fichier choisi sans --config ; la ligne de commande, qui
// l'emporte sur lui. Ce qu'il garde d'un démarrage à l'autre : son dossier d'état, son
// identifiant, le carnet des expéditeurs (sa forme écrite face à des octets abîmés :
// fuzz_carnet).
#include "recepteur/config_recepteur.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "faux/hasard_deterministe.hpp"
#include "programmes/recepteur/etat_recepteur.hpp"
#include "programmes/recepteur/fichier_config.hpp"
#include "recepteur/carnet_expediteurs.hpp"
#include "recepteur/options_recepteur.hpp"

namespace ravlo::essai_demarrage {
namespace {

namespace fs = std::filesystem;

/// L'environnement d'un programme, lu comme `getenv`.
auto variables(const std::map<std::string, std::string>& env) {
  return [&env](const char* nom) -> const char* {
    const auto i = env.find(nom);
    return i == env.end() ? nullptr : i->second.c_str();
  };
}

struct DossierTemporaire {
  fs::path chemin =
      fs::temp_directory_path() / ("ravlo-demarrage-" + std::to_string(::getpid()) + "-" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  ~DossierTemporaire() { fs::remove_all(chemin); }
};

TEST(ConfigRecepteur, LignesLuesOuPremiereRegleBriseeEtSaLigne) {
  using enum CasErreurConfig;
  using Lue = std::expected<ConfigRecepteur, ErreurConfig>;
  const auto refus = [](CasErreurConfig cas, std::size_t ligne, const char* lu) {
    return Lue(std::unexpected(ErreurConfig{cas, ligne, lu}));
  };
  const std::pair<const char*, Lue> cas[]{
      {"", ConfigRecepteur{}},
      {"# rien\n\n   \t\n", ConfigRecepteur{}},
      {"nom = Salon du haut   # le haut\r\n"
       "  sortie=alsa:default\n"
       "port\t=\t0\n"
       "langue = en_GB\n"
       "code-parle = non\n"
       "etat = /var/lib/ravlo-recepteur",  // sans saut de ligne final
       ConfigRecepteur{"Salon du haut", "alsa:default", 0, "en_GB", false,
                       "/var/lib/ravlo-recepteur"}},
      {"code-parle = oui\n", ConfigRecepteur{{}, {}, {}, {}, true, {}}},
      {"nom = A\nvolume = 3\n", refus(cleInconnue, 2, "volume")},
      {"# x\n\nSalon\n", refus(sansEgal, 3, "Salon")},
      {"= Salon\n", refus(sansEgal, 1, "= Salon")},
      {"nom =   # vide\n", refus(valeurVide, 1, "nom")},
      {"port = 65536\n", refus(portInvalide, 1, "65536")},
      {"port = -1\n", refus(portInvalide, 1, "-1")},
      {"port = 80 80\n", refus(portInvalide, 1, "80 80")},
      {"code-parle = yes\n", refus(ouiNonAttendu, 1, "yes")},
      {"langue = fr;rm\n", refus(langueInvalide, 1, "fr;rm")},
      {"etat = var/lib\n", refus(etatRelatif, 1, "var/lib")},
      {"nom = A\nport = 1\nnom = B\n", refus(cleRepetee, 3, "nom")},
      {"port = x\nvolume = 3\n", refus(portInvalide, 1, "x")},
  };
  for (const auto& [contenu, attendue] : cas)
    EXPECT_TRUE(lireConfigRecepteur(contenu) == attendue) << contenu;
}

// Ce qu'une ligne de commande donne, sur un fichier (lu) et une entrée : la ligne de commande
// l'emporte champ par champ, ce qu'elle tait vient du fichier puis du défaut, un --wav écarte
// la sortie du fichier au lieu de s'y heurter. Le code vient de `--code`, de l'entrée
// (`--code -`) ou de RAVLO_CODE, hors de la ligne de commande que `ps` montre à tous ;
// `--code` sans valeur (« ? ») demande celui du récepteur qui tourne. `alsa:` devant la sortie
// choisit ALSA, pas une sortie du serveur de son nommée « alsa_… ».
TEST(OptionsRecepteur, LigneDeCommandeEntreeEnvironnementEtFichier) {
  const char* salon =
      "nom = Salon\nsortie = alsa:default\nport = 5000\nlangue = en\ncode-parle = non";
  struct Cas {
    std::vector<const char*> arguments;
    const char* attendu;  // nom|sortie|ALSA|langue|port|wav|code|voix, ou « refus »
    const char* fichier = "";
    const char* entree = "0815\n";
    const char* environnement = nullptr;
  };
  const Cas cas[]{
      {{}, "||||4798|||parle"},
      {{}, "Salon|alsa:default|default|en|5000|||muet", salon},
      {{"--nom", "Cuisine", "--port", "0", "--langue", "fr"},
       "Cuisine|alsa:default|default|fr|0|||muet",
       salon},
      {{"--sortie", "hp"}, "Salon|hp||en|5000|||muet", salon},
      {{"--wav", "/tmp/x.wav"}, "Salon|||en|5000|wav||muet", salon},
      {{"--code"}, "||||4798||?|parle"},
      {{"--code", "--etat", "/tmp/x"}, "||||4798||?|parle"},
      {{"--etat", "/tmp/x", "--code"}, "||||4798||?|parle"},
      {{"--code", "1234"}, "||||4798||1234|parle", "", "", "4711"},
      {{"--code", "-"}, "||||4798||0815|parle"},
      {{"--sans-code-parle", "--code", "4711"}, "||||4798||4711|muet"},
      {{"--code", "-"}, "||||4798||0815|parle", "", "0815\r\n4711\n", "1234"},
      {{"--code", "-"}, "refus", "", ""},
      {{"--code", "-"}, "refus", "", "08 15\n"},
      {{}, "||||4798||4711|parle", "", "", "4711"},
      {{}, "||||4798|||parle", "", "", ""},
      {{}, "refus", "", "", "47a1"},
      {{"--sortie", "alsa:hw:0,0"}, "|alsa:hw:0,0|hw:0,0||4798|||parle"},
      {{"--sortie", "alsa_output.pci-0000_00_1f.3.analog-stereo"},
       "|alsa_output.pci-0000_00_1f.3.analog-stereo|||4798|||parle"},
      {{"--sortie", "alsa:"}, "refus"},
      {{"--sortie", "alsa:default", "--wav", "x.wav"}, "refus"},
  };
  for (const auto& c : cas) {
    std::istringstream entree(c.entree);
    const auto o = OptionsRecepteur::lire(c.arguments, "fr", &entree, c.environnement,
                                          lireConfigRecepteur(c.fichier).value());
    std::string resume = "refus";
    if (o) {
      resume = o->nom.value_or("") + "|" + o->sortie.value_or("") + "|" +
               o->peripheriqueAlsa().value_or("") + "|" + o->langue.value_or("") + "|" +
               std::to_string(o->port) + "|" + (o->wav ? "wav|" : "|") +
               (o->code ? o->code->chiffres() : "") + (o->afficherCode ? "?|" : "|") +
               (o->codeParle ? "parle" : "muet");
    }
    EXPECT_EQ(resume, c.attendu) << c.entree << " / " << (c.environnement ? c.environnement : "-");
  }
  const std::vector<const char*> deux{"--config", "a.conf", "--nom", "x", "--config", "b.conf"};
  EXPECT_EQ(OptionsRecepteur::configNommee(deux), fs::path("b.conf"));
  EXPECT_EQ(OptionsRecepteur::configNommee(std::vector<const char*>{"--config"}), std::nullopt);
}

// Sans --config : celui de l'utilisateur s'il existe, sinon celui du système, sinon rien ; un
// fichier nommé qui manque, ou une ligne fautive, est une phrase qui nomme le fichier.
TEST(ConfigRecepteur, FichierChoisi) {
  const DossierTemporaire dossier;
  const fs::path& d = dossier.chemin;
  const fs::path systeme = d / "etc/recepteur.conf";
  const auto ecrire = [](const fs::path& f, const char* contenu) {
    fs::create_directories(f.parent_path());
    std::ofstream(f) << contenu;
  };
  std::map<std::string, std::string> env{{"XDG_CONFIG_HOME", (d / "xdg").string()},
                                         {"HOME", "/nulle/part"}};
  const auto nom = [&](std::optional<fs::path> nommee) {
    const auto c = chargerConfigRecepteur(nommee, variables(env), "fr", systeme);
    return c ? c->nom.value_or("-") : "!" + c.error();
  };
  EXPECT_EQ(nom({}), "-");
  ecrire(systeme, "nom = Système\n");
  EXPECT_EQ(nom({}), "Système");
  ecrire(d / "xdg/ravlo/recepteur.conf", "nom = Utilisateur\n");
  EXPECT_EQ(nom({}), "Utilisateur");
  env["XDG_CONFIG_HOME"] = "relatif";  // ignoré, comme le veut XDG : $HOME/.config
  env["HOME"] = (d / "maison").string();
  EXPECT_EQ(nom({}), "Système");
  ecrire(d / "maison/.config/ravlo/recepteur.conf", "nom = Maison\n");
  EXPECT_EQ(nom({}), "Maison");
  EXPECT_EQ(nom(systeme), "Système");
  EXPECT_TRUE(nom(d / "absent.conf")
                  .starts_with("!Configuration illisible « " + (d / "absent.conf").string()));
  ecrire(d / "faux.conf", "nom = A\n\nvolume = 11\n");
  EXPECT_EQ(
      nom(d / "faux.conf"),
      "!" + (d / "faux.conf").string() +
          ", ligne 3 : clé inconnue « volume » (nom, sortie, port, langue, code-parle, etat).");
}

TEST(EtatRecepteur, LeDossierDeLOptionPuisDeSystemdPuisDeLUtilisateur) {
  struct Cas {
    std::optional<fs::path> option;
    std::map<std::string, std::string> environnement;
    fs::path attendu;
  };
  const Cas cas[]{
      {"/srv/r", {{"STATE_DIRECTORY", "/var/lib/a"}}, "/srv/r"},
      {{}, {{"STATE_DIRECTORY", "/var/lib/a:/var/lib/b"}, {"HOME", "/h"}}, "/var/lib/a"},
      {{}, {{"STATE_DIRECTORY", "relatif"}, {"HOME", "/h"}}, "/h/.local/state/ravlo-recepteur"},
      {{}, {{"XDG_STATE_HOME", "/x"}, {"HOME", "/h"}}, "/x/ravlo-recepteur"},
      {{}, {}, ""},
  };
  for (const auto& c : cas)
    EXPECT_EQ(dossierEtatRecepteur(c.option, variables(c.environnement)), c.attendu) << c.attendu;
}

// Tiré une fois, relu ensuite ; un fichier abîmé en donne un neuf ; un fichier qu'un autre
// peut écrire n'est pas cru, ni remplacé.
TEST(EtatRecepteur, IdentifiantTireUneFoisPuisRelu) {
  DossierTemporaire d;
  const auto dossier = d.chemin / "etat";
  HasardDeterministe hasard(1);
  const auto premier = identifiantRecepteur(dossier, hasard);
  ASSERT_TRUE(premier.has_value()) << premier.error();
  EXPECT_EQ(fs::status(dossier).permissions() & fs::perms::all, fs::perms::owner_all);
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
// long pour la forme écrite est raccourci ; tout survit à l'écriture, et une forme écrite
// tronquée ou abîmée est refusée pour sa raison.
TEST(CarnetExpediteurs, BorneOublieLePlusAncienSeRelitEtRefuseLAbime) {
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
  EXPECT_TRUE(c.noterVenue(paire(3).identifiant, -5));  // une heure d'avant 1970 se relit aussi

  const auto cas = [](const auto& lu) { return lu ? std::nullopt : std::optional(lu.error().cas); };
  const Octets bon = c.ecrire();
  EXPECT_EQ(CarnetExpediteurs::lire(bon), c);
  for (std::size_t n = 0; n < bon.size(); ++n)
    EXPECT_EQ(cas(CarnetExpediteurs::lire(VueOctets(bon).first(n))), CasErreurCarnet::tronque) << n;
  const std::size_t second =
      2 + CarnetExpediteurs::tailleFixeExpediteur + c.expediteurs()[0].nom.size();
  const auto abime = [&](auto changer) {
    Octets o = bon;
    changer(o);
    return o;
  };
  const struct {
    const char* nom;
    Octets octets;
    CasErreurCarnet cas;
  } abimes[]{
      {"version", abime([](Octets& o) { o[0] = 2; }), CasErreurCarnet::versionInconnue},
      {"nombre", abime([](Octets& o) { o[1] = 17; }), CasErreurCarnet::tropDExpediteurs},
      {"octet en trop", abime([](Octets& o) { o.push_back(0); }), CasErreurCarnet::octetsEnTrop},
      {"un de moins annoncé", abime([](Octets& o) { o[1] = 15; }), CasErreurCarnet::octetsEnTrop},
      {"nom de 129 octets", abime([](Octets& o) { o[2 + 56] = 129; }),
       CasErreurCarnet::nomInvalide},
      {"nom hors UTF-8", abime([](Octets& o) { o[2 + 57] = 0xC0; }), CasErreurCarnet::nomInvalide},
      {"identifiant en double",
       abime([&](Octets& o) { std::copy_n(o.begin() + 2, 16, o.begin() + second); }),
       CasErreurCarnet::identifiantEnDouble},
  };
  for (const auto& x : abimes) EXPECT_EQ(cas(CarnetExpediteurs::lire(x.octets)), x.cas) << x.nom;
  c.retenir(paire(7), "Poste 7", 600);
  EXPECT_EQ(c.oublier("Poste 7"), 1u);
  EXPECT_EQ(c.oublier("Poste 7"), 0u);
}

}  // namespace
}  // namespace ravlo::essai_demarrage
