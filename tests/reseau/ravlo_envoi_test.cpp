// ravlo-envoi lancé pour de vrai : ses refus de ligne de commande, et la langue de ses textes,
// lancé de l'arbre de construction comme installé sous un autre préfixe.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace ravlo {
namespace {

struct Sortie {
  std::string texte;
  int statut = -1;
};

// Rien n'écoute sur le port 9 de la boucle locale : un appairage y est refusé.
Sortie lancer(const std::string& environnement, const std::string& programme,
              const std::string& arguments) {
  Sortie s;
  const std::string ligne = "env -u LC_ALL -u LC_MESSAGES -u LANG " + environnement + " " +
                            programme + " " + arguments + " 2>&1; echo \"statut=$?\"";
  if (FILE* f = ::popen(ligne.c_str(), "r")) {
    char morceau[1024];
    for (std::size_t n = 0; (n = std::fread(morceau, 1, sizeof morceau, f)) > 0;)
      s.texte.append(morceau, n);
    ::pclose(f);
  }
  const auto statut = s.texte.rfind("statut=");
  if (statut == std::string::npos) return s;
  s.statut = std::stoi(s.texte.substr(statut + 7));
  s.texte.resize(statut);
  return s;
}

struct RavloEnvoi : ::testing::Test {
  const std::filesystem::path dossier =
      std::filesystem::path(::testing::TempDir()) / ("ravlo-envoi-" + std::to_string(getpid()));
  void SetUp() override { std::filesystem::create_directories(dossier); }
  void TearDown() override { std::filesystem::remove_all(dossier); }
};

// Une ligne de commande fausse, ou un fichier qui n'est pas un WAV : statut 2, avant tout
// appairage.
TEST_F(RavloEnvoi, RefusDeLaLigneDeCommande) {
  const auto faux = dossier / "faux.wav";
  std::ofstream(faux) << "pas un wav";
  for (const std::string& arguments : std::vector<std::string>{
           "--vers 127.0.0.1:9 --code 12a4",
           "--vers 127.0.0.1:9 --code 1234 --wav " + faux.string(),
           "--recepteur Salon --vers 127.0.0.1:5 --code 1234",
           "--recepteur Salon",
           "--code 1234",
           "--liste --code 1234",
       }) {
    EXPECT_EQ(lancer("", RAVLO_ENVOI, arguments).statut, 2) << arguments;
  }
}

TEST_F(RavloEnvoi, LeRefusDitDansLaLangueDeLEnvironnement) {
  for (const char* composant : {"textes", "ravlo-envoi"}) {
    EXPECT_EQ(lancer("", RAVLO_CMAKE,
                     std::string("--install ") + RAVLO_CONSTRUCTION + " --prefix " +
                         dossier.string() + " --component " + composant + " >/dev/null")
                  .statut,
              0)
        << composant;
  }
  const std::string francais =
      "Le récepteur refuse la connexion. Ouvre l'app Ravlo ou lance ravlo-recepteur, puis "
      "réessaie.\n";
  const std::string anglais =
      "The receiver refuses the connection. Open the Ravlo app or start ravlo-recepteur, then "
      "try again.\n";
  // LC_ALL, puis LC_MESSAGES, puis LANG ; une langue sans catalogue lit le français.
  const std::vector<std::pair<std::string, std::string>> cas{
      {"LANG=fr_FR.UTF-8", francais},
      {"LANG=en_US.UTF-8", anglais},
      {"LANG=fr_FR.UTF-8 LC_MESSAGES=en_GB.UTF-8", anglais},
      {"LC_MESSAGES=fr_FR.UTF-8 LC_ALL=en_US.UTF-8", anglais},
      {"LANG=de_DE.UTF-8", francais},
  };
  const auto installe = (dossier / "bin" / "ravlo-envoi").string();
  const std::string refuse = "--vers 127.0.0.1:9 --code 1234";
  for (const std::string& programme : {std::string(RAVLO_ENVOI), installe}) {
    for (const auto& [environnement, attendu] : cas) {
      const Sortie s = lancer(environnement, programme, refuse);
      EXPECT_EQ(s.texte, attendu) << programme << " : " << environnement;
      EXPECT_EQ(s.statut, 1) << programme << " : " << environnement;
    }
  }
  // Sans l'anglais de l'installation, l'installé dit le français : il lit ses catalogues à
  // lui, pas ceux de la construction.
  std::filesystem::remove_all(dossier / "share" / "locale" / "en");
  EXPECT_EQ(lancer("LANG=en_US.UTF-8", installe, refuse).texte, francais);
}

}  // namespace
}  // namespace ravlo
