// SPDX-License-Identifier: MPL-2.0
#include "plateforme/demarrage_auto.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace ravlo {
namespace {

namespace fs = std::filesystem;

TEST(DemarrageAutoXdg, EcritMasqueEtRetireLEntreeDeSession) {
  const fs::path dossier =
      fs::temp_directory_path() / ("ravlo-demarrage-" + std::to_string(getpid()));
  fs::remove_all(dossier);
  DemarrageAutoXdg demarrage(dossier, "ravlo-link");
  EXPECT_FALSE(demarrage.actif());

  ASSERT_FALSE(demarrage.changer(true));
  EXPECT_TRUE(demarrage.actif());
  std::ifstream entree(demarrage.fichier());
  const std::string contenu((std::istreambuf_iterator<char>(entree)), {});
  EXPECT_NE(contenu.find("\nExec=ravlo-link\n"), std::string::npos) << contenu;

  // Un outil du bureau qui la masque la désactive sans la supprimer.
  std::ofstream(demarrage.fichier(), std::ios::app) << "Hidden=true\n";
  EXPECT_FALSE(demarrage.actif());
  ASSERT_FALSE(demarrage.changer(true));
  EXPECT_TRUE(demarrage.actif()) << "la réactiver réécrit l'entrée";

  ASSERT_FALSE(demarrage.changer(false));
  EXPECT_FALSE(fs::exists(demarrage.fichier()));

  // Dossier de configuration impossible (un fichier à sa place) : l'erreur revient.
  fs::remove_all(dossier);
  std::ofstream(dossier) << "";
  EXPECT_TRUE(demarrage.changer(true));
  EXPECT_FALSE(demarrage.actif());
  fs::remove(dossier);
}

}  // namespace
}  // namespace ravlo
