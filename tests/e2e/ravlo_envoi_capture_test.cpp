// SPDX-License-Identifier: MPL-2.0
// ravlo-envoi --capture lancé pour de vrai face au vrai ravlo-recepteur, sur un serveur de son
// à part (son propre socket : un démon PulseAudio, ou un pipewire-pulse sous PipeWire) relancé
// pendant l'envoi : la capture reprend seule, le récepteur recompte des paquets, et l'envoi va
// au bout de sa durée.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "bench/relais/recepteur_lance.hpp"
#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

TEST(DemonPulseEnvoi, LeServeurDeSonRelanceLaCaptureReprendSeule) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "pas de démon PulseAudio d'essai";
  char modele[] = "/tmp/ravlo-envoi-capture.XXXXXX";
  ASSERT_NE(::mkdtemp(modele), nullptr);
  const std::string dossier = modele;
  // Sous PipeWire, c'est pipewire-pulse qu'on relance, sur le graphe du service d'essai ;
  // sinon un démon PulseAudio à part.
  const char* pipewire = std::getenv("RAVLO_PW_DIR");
  const std::string socket = dossier + (pipewire != nullptr ? "/pulse/native" : "/native");
  const auto demon = [&] {
    if (pipewire != nullptr) {
      return std::make_unique<essai::Processus>(std::vector<std::string>{
          "env", "-u", "PULSE_SERVER", "PIPEWIRE_RUNTIME_DIR=" + std::string(pipewire) + "/xdg",
          "XDG_RUNTIME_DIR=" + dossier, "pipewire-pulse"});
    }
    return std::make_unique<essai::Processus>(std::vector<std::string>{
        "env", "XDG_RUNTIME_DIR=" + dossier, "PULSE_RUNTIME_PATH=" + dossier,
        "PULSE_STATE_PATH=" + dossier, "pulseaudio", "--daemonize=no", "-n", "--exit-idle-time=-1",
        "--log-target=file:" + dossier + "/pulse.log", "-L",
        "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
        "module-null-sink sink_name=speakers rate=48000 channels=2"});
  };
  const auto pret = [&] {
    return essai::attendreQue([&] {
      return essai::commande("PULSE_SERVER=unix:" + socket +
                             " pactl info >/dev/null 2>&1 && echo o") == "o\n";
    });
  };
  auto serveur = demon();
  ASSERT_TRUE(pret());
  boucle::RecepteurLance recepteur({"--code", "1357", "--wav", "/dev/null"});
  essai::Processus envoi({"bash", "-c",
                          "exec env -u LANGUAGE LC_ALL=fr_FR.UTF-8 PULSE_SERVER=unix:" + socket +
                              " " + RAVLO_ENVOI +
                              " --vers 127.0.0.1:" + std::to_string(recepteur.port) +
                              " --code 1357 --capture --secondes 12 >" + dossier + "/dit 2>&1"});
  ASSERT_TRUE(recepteur.attendrePaquets(1)) << "la capture tourne";
  serveur.reset();
  serveur = demon();
  ASSERT_TRUE(pret());
  // Les paquets de la ligne d'état qui suit le retour du serveur, puis 150 de plus (1 s de son).
  long avant = -1;
  for (std::string l = recepteur.lire(""); avant < 0 && !l.empty(); l = recepteur.lire("")) {
    if (const auto i = l.find("  paquets "); i != std::string::npos)
      avant = std::atol(l.c_str() + i + 10);
  }
  ASSERT_GE(avant, 0);
  EXPECT_TRUE(recepteur.attendrePaquets(avant + 150, 20s)) << "la capture n'a pas repris";
  EXPECT_EQ(envoi.attendre(), 0);
  const std::string dit = essai::commande("cat " + dossier + "/dit");
  EXPECT_EQ(dit.find("envoi arrêté"), std::string::npos) << dit;
  EXPECT_NE(dit.find("Durée écoulée"), std::string::npos) << dit;
  serveur.reset();
  std::filesystem::remove_all(dossier);
}

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
    boucle::RecepteurLance recepteur({"--code", "1357", "--wav", "/dev/null"});
    essai::Processus envoi({RAVLO_ENVOI, "--vers", "127.0.0.1:" + std::to_string(recepteur.port),
                            "--code", "1357", "--capture", "--silencieux"});
    ASSERT_TRUE(recepteur.attendrePaquets(1)) << "la capture tourne";
    envoi.tuer(SIGKILL);
    ASSERT_TRUE(essai::puitsParDefaut().starts_with("ravlo_link-")) << "le silence est resté";
    essai::Processus lance(commande);
    EXPECT_TRUE(rendu()) << nom << " rend le son";
    if (nom == "ravlo-link") {
      EXPECT_EQ(lance.tuer(SIGTERM), 0);
    }
  }
  std::filesystem::remove_all(dossier);
}

}  // namespace
}  // namespace ravlo
