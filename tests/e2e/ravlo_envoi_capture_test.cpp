// ravlo-envoi --capture lancé pour de vrai face au vrai ravlo-recepteur : ce que l'envoi dit
// quand le serveur de son manque ou tombe en cours de route.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "bench/relais/recepteur_lance.hpp"
#include "e2e/outils_pulse.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

class DemonPulseEnvoi : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!essai::demonDEssai()) GTEST_SKIP() << "pas de démon PulseAudio d'essai";
    char modele[] = "/tmp/ravlo-envoi-capture.XXXXXX";
    ASSERT_NE(::mkdtemp(modele), nullptr);
    dossier_ = modele;
  }
  void TearDown() override {
    if (!dossier_.empty()) std::filesystem::remove_all(dossier_);
  }
  std::string dossier_;
};

TEST_F(DemonPulseEnvoi, UnEchecDeLaCaptureAfficheLeTexteFrancaisEtSortEnErreur) {
  boucle::RecepteurLance recepteur({"--code", "1357", "--wav", "/dev/null"});
  const std::string sortie =
      essai::commande("LC_ALL=fr_FR.UTF-8 PULSE_SERVER=unix:" + dossier_ + "/nulle-part " +
                      RAVLO_ENVOI + " --vers 127.0.0.1:" + std::to_string(recepteur.port) +
                      " --code 1357 --capture 2>&1 >/dev/null; echo statut=$?");
  EXPECT_NE(sortie.find("Le son de cet ordinateur n'a pas pu être capté (étape « lecture de la "
                        "sortie par défaut », code 6). Vérifie que le serveur de son (PulseAudio "
                        "ou PipeWire) tourne dans ta session, puis relance l'envoi."),
            std::string::npos)
      << sortie;
  EXPECT_NE(sortie.find("statut=1"), std::string::npos) << sortie;
}

// Le serveur de son relancé pendant l'envoi (un démon à part, sur son propre socket) : la
// capture le dit et l'envoi s'arrête sur son texte français, en erreur, sans attendre sa durée.
TEST_F(DemonPulseEnvoi, LeServeurDeSonRelanceArreteLEnvoiSurSonTexte) {
  const std::string xdg = dossier_ + "/xdg";
  const std::string socket = xdg + "/native";
  ASSERT_EQ(::mkdir(xdg.c_str(), 0700), 0);
  const auto demon = [&] {
    return std::make_unique<essai::Processus>(std::vector<std::string>{
        "env", "XDG_RUNTIME_DIR=" + xdg, "PULSE_RUNTIME_PATH=" + xdg,
        "PULSE_STATE_PATH=" + dossier_, "pulseaudio", "--daemonize=no", "-n", "--exit-idle-time=-1",
        "--log-target=file:" + dossier_ + "/pulse.log", "-L",
        "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
        "module-null-sink sink_name=speakers rate=48000 channels=2"});
  };
  const auto pret = [&] {
    for (int i = 0; i < 200; ++i) {
      if (essai::commande("PULSE_SERVER=unix:" + socket +
                          " pactl info >/dev/null 2>&1 && echo o") == "o\n")
        return true;
      std::this_thread::sleep_for(25ms);
    }
    return false;
  };
  auto serveur = demon();
  ASSERT_TRUE(pret());
  boucle::RecepteurLance recepteur({"--code", "1357", "--wav", "/dev/null"});
  essai::Processus envoi({"bash", "-c",
                          "exec env LC_ALL=fr_FR.UTF-8 PULSE_SERVER=unix:" + socket + " " +
                              RAVLO_ENVOI + " --vers 127.0.0.1:" + std::to_string(recepteur.port) +
                              " --code 1357 --capture --secondes 20 >" + dossier_ + "/dit 2>&1"});
  ASSERT_TRUE(recepteur.attendrePaquets(1)) << "la capture tourne";
  serveur.reset();
  serveur = demon();
  ASSERT_TRUE(pret());
  EXPECT_EQ(envoi.attendre(), 1);
  std::ifstream f(dossier_ + "/dit");
  const std::string dit((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_NE(dit.find("Le son de cet ordinateur n'a pas pu être capté"), std::string::npos) << dit;
  EXPECT_NE(dit.find("La capture du son s'est arrêtée : envoi arrêté."), std::string::npos) << dit;
}

}  // namespace
}  // namespace ravlo
