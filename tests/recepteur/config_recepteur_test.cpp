// SPDX-License-Identifier: MPL-2.0
// Le fichier de configuration du récepteur : ses lignes, ses refus (fichier et ligne nommés),
// le fichier choisi sans --config, et la ligne de commande qui l'emporte.
#include "recepteur/config_recepteur.hpp"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <map>

#include "programmes/recepteur/fichier_config.hpp"
#include "recepteur/options_recepteur.hpp"

namespace ravlo {
namespace {

namespace fs = std::filesystem;

TEST(ConfigRecepteur, LignesLues) {
  ConfigRecepteur complete;
  complete.nom = "Salon du haut";
  complete.sortie = "alsa:default";
  complete.port = 0;
  complete.langue = "en_GB";
  complete.codeParle = false;
  complete.etat = "/var/lib/ravlo-recepteur";
  ConfigRecepteur oui;
  oui.codeParle = true;
  struct Cas {
    const char* contenu;
    ConfigRecepteur attendue;
  };
  const Cas cas[]{
      {"", {}},
      {"# rien\n\n   \t\n", {}},
      {"nom = Salon du haut   # le haut\r\n"
       "  sortie=alsa:default\n"
       "port\t=\t0\n"
       "langue = en_GB\n"
       "code-parle = non\n"
       "etat = /var/lib/ravlo-recepteur",  // sans saut de ligne final
       complete},
      {"code-parle = oui\n", oui},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.contenu);
    const auto lue = lireConfigRecepteur(c.contenu);
    ASSERT_TRUE(lue.has_value()) << static_cast<int>(lue.error().cas);
    EXPECT_EQ(*lue, c.attendue);
  }
}

TEST(ConfigRecepteur, PremiereRegleBriseeEtSaLigne) {
  using enum CasErreurConfig;
  const std::pair<const char*, ErreurConfig> cas[]{
      {"nom = A\nvolume = 3\n", {cleInconnue, 2, "volume"}},
      {"# x\n\nSalon\n", {sansEgal, 3, "Salon"}},
      {"= Salon\n", {sansEgal, 1, "= Salon"}},
      {"nom =   # vide\n", {valeurVide, 1, "nom"}},
      {"port = 65536\n", {portInvalide, 1, "65536"}},
      {"port = -1\n", {portInvalide, 1, "-1"}},
      {"port = 80 80\n", {portInvalide, 1, "80 80"}},
      {"code-parle = yes\n", {ouiNonAttendu, 1, "yes"}},
      {"langue = fr;rm\n", {langueInvalide, 1, "fr;rm"}},
      {"etat = var/lib\n", {etatRelatif, 1, "var/lib"}},
      {"nom = A\nport = 1\nnom = B\n", {cleRepetee, 3, "nom"}},
      {"port = x\nvolume = 3\n", {portInvalide, 1, "x"}},
  };
  for (const auto& [contenu, attendue] : cas) {
    SCOPED_TRACE(contenu);
    const auto lue = lireConfigRecepteur(contenu);
    ASSERT_FALSE(lue.has_value());
    EXPECT_EQ(lue.error(), attendue);
  }
  EXPECT_EQ(texteErreurConfig({cleInconnue, 7, "volume"}, "/etc/ravlo/recepteur.conf", "fr"),
            "/etc/ravlo/recepteur.conf, ligne 7 : clé inconnue « volume » (nom, sortie, port, "
            "langue, code-parle, etat).");
}

// La ligne de commande l'emporte, champ par champ ; ce qu'elle tait vient du fichier, puis du
// défaut. Un --wav écarte la sortie du fichier au lieu de s'y heurter.
TEST(ConfigRecepteur, LaLigneDeCommandeLEmporte) {
  ConfigRecepteur fichier;
  fichier.nom = "Salon";
  fichier.sortie = "alsa:default";
  fichier.port = 5000;
  fichier.langue = "en";
  fichier.codeParle = false;
  struct Cas {
    std::vector<const char*> arguments;
    std::string nom, sortie, langue;
    unsigned port;
    bool wav, codeParle;
  };
  const Cas cas[]{
      {{}, "Salon", "alsa:default", "en", 5000, false, false},
      {{"--nom", "Cuisine", "--port", "0", "--langue", "fr"},
       "Cuisine",
       "alsa:default",
       "fr",
       0,
       false,
       false},
      {{"--sortie", "hp"}, "Salon", "hp", "en", 5000, false, false},
      {{"--wav", "/tmp/x.wav"}, "Salon", "", "en", 5000, true, false},
  };
  for (const auto& c : cas) {
    const auto o = OptionsRecepteur::lire(c.arguments, "fr", nullptr, nullptr, fichier);
    ASSERT_TRUE(o.has_value()) << o.error();
    EXPECT_EQ(o->nom.value_or(""), c.nom);
    EXPECT_EQ(o->sortie.value_or(""), c.sortie);
    EXPECT_EQ(o->langue.value_or(""), c.langue);
    EXPECT_EQ(o->port, c.port);
    EXPECT_EQ(o->wav.has_value(), c.wav);
    EXPECT_EQ(o->codeParle, c.codeParle);
  }
  const auto sans = OptionsRecepteur::lire({}, "fr");
  ASSERT_TRUE(sans.has_value());
  EXPECT_EQ(sans->port, OptionsRecepteur::portParDefaut);
  EXPECT_TRUE(sans->codeParle);
  const std::vector<const char*> deux{"--config", "a.conf", "--nom", "x", "--config", "b.conf"};
  EXPECT_EQ(OptionsRecepteur::configNommee(deux), fs::path("b.conf"));
  EXPECT_EQ(OptionsRecepteur::configNommee(std::vector<const char*>{"--config"}), std::nullopt);
}

// Sans --config : celui de l'utilisateur s'il existe, sinon celui du système, sinon rien ; un
// fichier nommé qui manque, ou une ligne fautive, est une phrase qui nomme le fichier.
TEST(ConfigRecepteur, FichierChoisi) {
  const fs::path d = fs::temp_directory_path() / ("ravlo-config-" + std::to_string(getpid()));
  fs::remove_all(d);
  const fs::path utilisateur = d / "xdg/ravlo/recepteur.conf";
  const fs::path systeme = d / "etc/recepteur.conf";
  const auto ecrire = [](const fs::path& f, const char* contenu) {
    fs::create_directories(f.parent_path());
    std::ofstream(f) << contenu;
  };
  std::map<std::string, std::string> env{{"XDG_CONFIG_HOME", (d / "xdg").string()},
                                         {"HOME", "/nulle/part"}};
  const auto variable = [&env](const char* nom) -> const char* {
    const auto i = env.find(nom);
    return i == env.end() ? nullptr : i->second.c_str();
  };
  const auto nom = [&](std::optional<fs::path> nommee) {
    const auto c = chargerConfigRecepteur(nommee, variable, "fr", systeme);
    return c ? c->nom.value_or("-") : "!" + c.error();
  };
  EXPECT_EQ(nom({}), "-");
  ecrire(systeme, "nom = Système\n");
  EXPECT_EQ(nom({}), "Système");
  ecrire(utilisateur, "nom = Utilisateur\n");
  EXPECT_EQ(nom({}), "Utilisateur");
  env["XDG_CONFIG_HOME"] = "relatif";  // ignoré, comme le veut XDG : $HOME/.config
  env["HOME"] = (d / "maison").string();
  EXPECT_EQ(nom({}), "Système");
  ecrire(d / "maison/.config/ravlo/recepteur.conf", "nom = Maison\n");
  EXPECT_EQ(nom({}), "Maison");
  EXPECT_EQ(nom(systeme), "Système");
  EXPECT_EQ(
      nom(d / "absent.conf").rfind("!Configuration illisible « " + (d / "absent.conf").string(), 0),
      0u);
  ecrire(d / "faux.conf", "nom = A\n\nvolume = 11\n");
  EXPECT_EQ(
      nom(d / "faux.conf"),
      "!" + (d / "faux.conf").string() +
          ", ligne 3 : clé inconnue « volume » (nom, sortie, port, langue, code-parle, etat).");
  fs::remove_all(d);
}

}  // namespace
}  // namespace ravlo
