// SPDX-License-Identifier: MPL-2.0
// ravlo-envoi --capture --silencieux lancé pour de vrai face au vrai ravlo-recepteur, puis tué
// net : le lancement suivant rend le son.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"

namespace ravlo {
namespace {

// Un envoi tué net pendant qu'il taisait l'ordinateur laisse sa sortie nulle par défaut :
// ravlo-envoi comme ravlo-link rendent le son dès leur lancement, sans capture ; ravlo-link
// finit proprement sur SIGTERM.
TEST(DemonPulseEnvoi, UnEnvoiTueEnSilenceRendLeSonAuLancementSuivant) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "pas de démon PulseAudio d'essai";
  char modele[] = "/tmp/ravlo-reste.XXXXXX";
  ASSERT_NE(::mkdtemp(modele), nullptr);
  const std::string dossier = modele;
  std::vector<std::pair<std::string, std::vector<std::string>>> lancements{
      {"ravlo-envoi", {RAVLO_ENVOI, "--vers", "127.0.0.1:9", "--code", "1234", "--secondes", "1"}}};
#ifdef RAVLO_LINK
  lancements.push_back(
      {"ravlo-link",
       {"env", "QT_QPA_PLATFORM=offscreen", "HOME=" + dossier, "XDG_CONFIG_HOME=" + dossier,
        "LSAN_OPTIONS=suppressions=" RAVLO_LSAN_BUREAU, RAVLO_LINK}});
#endif
  const auto rendu = [] {
    return essai::attendreQue([] { return essai::puitsParDefaut() == "speakers"; });
  };
  for (const auto& [nom, commande] : lancements) {
    essai::RecepteurLance recepteur({"--code", "1357", "--wav", "/dev/null"});
    essai::ProgrammeLance envoi(
        {RAVLO_ENVOI, "--vers", recepteur.vers(), "--code", "1357", "--capture", "--silencieux"});
    ASSERT_TRUE(recepteur.attendrePaquets(1)) << "la capture tourne";
    envoi.arreter(SIGKILL);
    ASSERT_TRUE(essai::puitsParDefaut().starts_with("ravlo_link-")) << "le silence est resté";
    essai::ProgrammeLance lance(commande);
    EXPECT_TRUE(rendu()) << nom << " rend le son";
    if (nom == "ravlo-link") {
      EXPECT_EQ(lance.arreter(SIGTERM), 0);
    }
  }
  std::filesystem::remove_all(dossier);
}

}  // namespace
}  // namespace ravlo
