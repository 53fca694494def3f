// Le programme ravlo-envoi lancé pour de vrai face au récepteur d'essai.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "outils/recepteur_test.hpp"
#include "protocol/fichier_wav.hpp"

extern char** environ;

namespace ravlo {
namespace {

using namespace std::chrono_literals;

// Un processus lancé par le test, arrêté par lui quoi qu'il arrive.
class Processus {
 public:
  explicit Processus(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
  }
  ~Processus() {
    if (pid_ > 0 && !statut_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  /// Le code de sortie, ou rien si le processus tourne encore après `delai`.
  std::optional<int> attendre(std::chrono::milliseconds delai) {
    const auto fin = std::chrono::steady_clock::now() + delai;
    while (!statut_ && std::chrono::steady_clock::now() < fin) {
      int s = 0;
      if (waitpid(pid_, &s, WNOHANG) == pid_) {
        statut_ = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
      } else {
        std::this_thread::sleep_for(10ms);
      }
    }
    return statut_;
  }
  [[nodiscard]] bool lance() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  std::optional<int> statut_;
};

struct RavloEnvoi : ::testing::Test {
  std::filesystem::path dossier =
      std::filesystem::temp_directory_path() / ("ravlo-envoi-" + std::to_string(getpid()));
  void SetUp() override { std::filesystem::create_directories(dossier); }
  void TearDown() override { std::filesystem::remove_all(dossier); }
};

TEST_F(RavloEnvoi, EnvoieJusquAuMessageDeFinEtSortAvecZero) {
  test::RecepteurTest recepteur(*CodeAppairage::depuisSaisie("1357"));
  const auto stats = dossier / "stats.json";
  Processus envoi({RAVLO_ENVOI, "--vers", "127.0.0.1:" + std::to_string(recepteur.port()), "--code",
                   "1357", "--nom", "Essai", "--stats", stats.string()});
  ASSERT_TRUE(envoi.lance());
  for (int i = 0; i < 300 && recepteur.paquets().size() < 150; ++i)
    std::this_thread::sleep_for(10ms);
  ASSERT_GE(recepteur.paquets().size(), 150u) << "une seconde d'audio au moins";
  EXPECT_EQ(recepteur.nomOrdinateur(), "Essai");
  recepteur.envoyerFin();
  ASSERT_EQ(envoi.attendre(5s), 0);
  const auto j = nlohmann::json::parse(std::ifstream(stats));
  EXPECT_EQ(j["raison"], "fin");
  EXPECT_GE(j["paquetsEnvoyes"].get<int>(), 150);
  EXPECT_EQ(j["paquetsSansHeureDeCapture"], 0);
  EXPECT_EQ(j["connexionPrete"], true) << "l'état du lien à la fin, pas celui de l'arrêt";
  EXPECT_TRUE(j["erreur"].is_null());
}

TEST_F(RavloEnvoi, FichierWavEnvoyeTelQuelPuisSortie) {
  // 0,2 s d'une rampe : 9600 trames dont chaque échantillon se reconnaît.
  const auto wav = dossier / "rampe.wav";
  {
    constexpr std::uint32_t trames = 9600;
    std::ofstream f(wav, std::ios::binary);
    const Octets entete = FichierWav::entete(trames * 4);
    f.write(reinterpret_cast<const char*>(entete.data()),
            static_cast<std::streamsize>(entete.size()));
    for (std::uint32_t i = 0; i < trames; ++i) {
      const std::int16_t g = static_cast<std::int16_t>(i),
                         d = static_cast<std::int16_t>(-static_cast<int>(i));
      f.write(reinterpret_cast<const char*>(&g), 2);
      f.write(reinterpret_cast<const char*>(&d), 2);
    }
  }
  test::RecepteurTest recepteur(*CodeAppairage::depuisSaisie("1357"));
  Processus envoi({RAVLO_ENVOI, "--vers", "127.0.0.1:" + std::to_string(recepteur.port()), "--code",
                   "1357", "--wav", wav.string()});
  ASSERT_EQ(envoi.attendre(5s), 0) << "sortie à la fin du fichier";
  const auto paquets = recepteur.paquets();
  ASSERT_EQ(paquets.size(), 30u) << "9600 trames = 30 paquets de 320";
  for (std::size_t p = 0; p < paquets.size(); ++p) {
    const auto& e = paquets[p].echantillons();
    const auto premier = static_cast<std::int16_t>(e[0] | (e[1] << 8));
    ASSERT_EQ(premier, static_cast<std::int16_t>(p * 320)) << "paquet " << p;
  }
}

TEST_F(RavloEnvoi, RefusClairsEtStatutNonNul) {
  // Mauvais WAV, code invalide, récepteur qui ne répond pas à cause d'un mauvais code.
  const auto faux = dossier / "faux.wav";
  std::ofstream(faux) << "pas un wav";
  Processus wav({RAVLO_ENVOI, "--vers", "127.0.0.1:9", "--code", "1234", "--wav", faux.string()});
  EXPECT_EQ(wav.attendre(5s), 2);
  Processus code({RAVLO_ENVOI, "--vers", "127.0.0.1:9", "--code", "12a4"});
  EXPECT_EQ(code.attendre(5s), 2);
  test::RecepteurTest recepteur(*CodeAppairage::depuisSaisie("1357"));
  Processus refuse(
      {RAVLO_ENVOI, "--vers", "127.0.0.1:" + std::to_string(recepteur.port()), "--code", "1358"});
  EXPECT_EQ(refuse.attendre(5s), 1);
}

}  // namespace
}  // namespace ravlo
