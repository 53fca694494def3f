// ravlo-envoi parle la langue de l'environnement, lancé de l'arbre de construction comme
// installé sous un autre préfixe.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace ravlo {
namespace {

std::string sortie(const std::string& ligne) {
  std::string lu;
  if (FILE* f = ::popen(ligne.c_str(), "r")) {
    char morceau[1024];
    for (std::size_t n = 0; (n = std::fread(morceau, 1, sizeof morceau, f)) > 0;)
      lu.append(morceau, n);
    ::pclose(f);
  }
  return lu;
}

struct RavloEnvoiTextes : ::testing::Test {
  const std::filesystem::path prefixe =
      std::filesystem::path(::testing::TempDir()) / ("ravlo-installe-" + std::to_string(getpid()));
  void TearDown() override { std::filesystem::remove_all(prefixe); }
};

TEST_F(RavloEnvoiTextes, LeRefusDitDansLaLangueDeLEnvironnement) {
  for (const char* composant : {"textes", "ravlo-envoi"}) {
    ASSERT_EQ(sortie(std::string(RAVLO_CMAKE) + " --install " + RAVLO_CONSTRUCTION + " --prefix " +
                     prefixe.string() + " --component " + composant + " >/dev/null 2>&1; echo $?"),
              "0\n")
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
  const auto installe = (prefixe / "bin" / "ravlo-envoi").string();
  const auto lancer = [](const std::string& environnement, const std::string& programme) {
    // Rien n'écoute sur le port 9 de la boucle locale : l'appairage est refusé.
    return sortie("env -u LC_ALL -u LC_MESSAGES -u LANG " + environnement + " " + programme +
                  " --vers 127.0.0.1:9 --code 1234 2>&1");
  };
  for (const std::string& programme : {std::string(RAVLO_ENVOI), installe}) {
    for (const auto& [environnement, attendu] : cas) {
      EXPECT_EQ(lancer(environnement, programme), attendu) << programme << " : " << environnement;
    }
  }
  // Sans l'anglais de l'installation, l'installé dit le français : il lit ses catalogues à
  // lui, pas ceux de la construction.
  std::filesystem::remove_all(prefixe / "share" / "locale" / "en");
  EXPECT_EQ(lancer("LANG=en_US.UTF-8", installe), francais);
}

}  // namespace
}  // namespace ravlo
