// ravlo-envoi --capture lancé pour de vrai : ce que joue l'ordinateur (la sortie nulle
// « speakers » du démon d'essai) arrive au vrai ravlo-recepteur, qui l'écrit dans un WAV.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
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
    ton_ = essai::ecrireTon(dossier_ + "/ton.raw", 1000, 6, 0.5);
  }
  void TearDown() override {
    if (!dossier_.empty()) std::filesystem::remove_all(dossier_);
  }
  std::string dossier_;
  std::string ton_;
};

TEST_F(DemonPulseEnvoi, LeTonJoueParLOrdinateurArriveAuRecepteur) {
  essai::Enregistreur hautParleurs("speakers.monitor");
  ASSERT_TRUE(hautParleurs.attendreDonnees()) << "sortie à l'heure avant de jouer";
  boucle::RecepteurLance recepteur({"--code", "1357", "--wav", dossier_ + "/recu.wav"});
  essai::Processus envoi({RAVLO_ENVOI, "--vers", "127.0.0.1:" + std::to_string(recepteur.port),
                          "--code", "1357", "--capture", "--secondes", "4"});
  ASSERT_TRUE(envoi.lance());
  ASSERT_TRUE(recepteur.attendrePaquets(1)) << "la capture envoie dès qu'elle tourne";
  auto joueur = essai::jouer(ton_, 100);
  EXPECT_EQ(envoi.attendre(), 0);
  EXPECT_EQ(recepteur.arreter(), 0);

  // Les tranches de 320 trames qui portent le ton (hors les deux premières et les deux
  // dernières, à cheval sur ses bords) : niveau −9 dBFS et 1 kHz.
  std::ifstream f(dossier_ + "/recu.wav", std::ios::binary);
  const std::string wav((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<std::vector<std::int16_t>> ton;
  for (std::size_t o = 44; o + 1280 <= wav.size(); o += 1280) {
    std::vector<std::int16_t> s(640);
    std::memcpy(s.data(), wav.data() + o, 1280);
    if (essai::rms(s.data(), s.size()) >= 0.1) ton.push_back(std::move(s));
  }
  ASSERT_GE(ton.size(), 150u) << "au moins une seconde de ton";
  std::vector<std::int16_t> gauche;
  for (std::size_t k = 2; k + 2 < ton.size(); ++k) {
    EXPECT_NEAR(essai::rms(ton[k].data(), ton[k].size()), 0.5 / std::sqrt(2.0), 0.02) << k;
    for (std::size_t i = 0; i < ton[k].size(); i += 2) gauche.push_back(ton[k][i]);
  }
  std::int64_t passages = 0;
  for (std::size_t i = 1; i < gauche.size(); ++i)
    passages += (gauche[i - 1] < 0) != (gauche[i] < 0);
  EXPECT_NEAR(static_cast<double>(passages) / 2 / (static_cast<double>(gauche.size()) / 48'000),
              1000.0, 10.0);
}

// Le terminal fermé pendant le silence (SIGHUP) : comme SIGTERM, le son de l'ordinateur
// revient à sa sortie.
TEST_F(DemonPulseEnvoi, SIGHUPPendantLeSilenceRendLeSon) {
  auto joueur = essai::jouer(ton_, 100);
  const std::string entree = essai::nouvelleEntree({});
  ASSERT_FALSE(entree.empty());
  boucle::RecepteurLance recepteur({"--code", "1357", "--wav", "/dev/null"});
  essai::Processus envoi({RAVLO_ENVOI, "--vers", "127.0.0.1:" + std::to_string(recepteur.port),
                          "--code", "1357", "--capture", "--silencieux"});
  ASSERT_TRUE(envoi.lance());
  ASSERT_TRUE(recepteur.attendrePaquets(1));
  ASSERT_EQ(essai::sortiesRavlo().size(), 1u);
  EXPECT_EQ(essai::sortieDe(entree), essai::sortiesRavlo()[0]);
  envoi.tuer(SIGHUP);
  EXPECT_EQ(envoi.attendre(), 0);
  EXPECT_TRUE(essai::sortiesRavlo().empty());
  EXPECT_EQ(essai::sortieDe(entree), "speakers");
  EXPECT_EQ(essai::puitsParDefaut(), "speakers");
}

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
