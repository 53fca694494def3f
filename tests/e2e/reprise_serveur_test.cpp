// SPDX-License-Identifier: MPL-2.0
// Le serveur de son tué puis relancé sous un vrai ravlo-recepteur qui joue et un vrai
// ravlo-envoi --capture qui envoie : PulseAudio, ou PipeWire quand c'est lui qui tourne autour
// de l'essai. Le serveur est le nôtre, lancé dans un dossier à nous, tué par son PID.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"
#include "plateforme/pipewire/sortie_pipewire.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

template <class Condition>
bool attendre(Condition&& condition) {
  return essai::attendreQue(std::forward<Condition>(condition), 30s);
}

// Un serveur de son à nous, du même genre que celui de l'essai, dans son propre dossier : deux
// sorties nulles, « speakers » (par défaut, que capte l'envoi) et « salon » (où joue le
// récepteur : le son reçu ne revient pas dans la capture). L'environnement du processus le
// désigne tant qu'il vit ; les programmes lancés en héritent. Chaque démarrage le relance au
// même endroit, sur la même socket.
class ServeurPrive {
 public:
  explicit ServeurPrive(bool pipewire)
      : dossier(std::filesystem::temp_directory_path() /
                ("ravlo-reprise-" + std::to_string(::getpid()))),
        pipewire_(pipewire) {
    std::filesystem::remove_all(dossier);
    for (const char* d : {"xdg", "xdg/pulse", "etat", "config/pipewire/pipewire.conf.d"}) {
      std::filesystem::create_directories(dossier / d);
      std::filesystem::permissions(dossier / d, std::filesystem::perms::owner_all);
    }
    // Sous PipeWire, les sorties naissent avec le serveur, comme des cartes : un flux qui vise
    // « salon » avant qu'elle existe serait relié ailleurs par WirePlumber.
    std::ofstream(dossier / "config/pipewire/pipewire.conf.d/sorties.conf")
        << "context.objects = [\n"
        << sortieNulle("speakers") << sortieNulle("salon") << "]\n";
    const std::string xdg = (dossier / "xdg").string();
    changer("XDG_RUNTIME_DIR", xdg);
    changer("PULSE_SERVER", "unix:" + xdg + "/pulse/native");
    changer("PULSE_RUNTIME_PATH", pipewire_ ? std::nullopt : std::optional(xdg + "/pulse"));
    changer("PULSE_STATE_PATH", (dossier / "etat").string());
    changer("XDG_CONFIG_HOME", (dossier / "config").string());
    changer("XDG_STATE_HOME", (dossier / "etat").string());
    changer("PIPEWIRE_RUNTIME_DIR", std::nullopt);
    changer("PIPEWIRE_REMOTE", std::nullopt);
    changer("DBUS_SESSION_BUS_ADDRESS",
            pipewire_ ? std::optional("unix:path=" + (dossier / "bus").string()) : std::nullopt);
  }
  ~ServeurPrive() {
    tuer();
    bus_.reset();
    for (auto& [nom, valeur] : anciens_) poser(nom, valeur);
    std::filesystem::remove_all(dossier);
  }
  ServeurPrive(const ServeurPrive&) = delete;
  ServeurPrive& operator=(const ServeurPrive&) = delete;

  const std::filesystem::path dossier;  // ses fichiers, et ceux de l'essai

  /// Vrai quand le serveur répond et tient ses deux sorties.
  bool demarrer() {
    const std::string journal = (dossier / "journal").string();
    if (pipewire_) {
      if (!bus_) {
        bus_.emplace(std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nopidfile",
                                              "--address=unix:path=" + (dossier / "bus").string()});
        if (!attendre([&] { return std::filesystem::exists(dossier / "bus"); })) return false;
      }
      // Les sockets d'un serveur tué restent : leur présence ne dirait pas qu'il écoute.
      for (const char* reste : {"xdg/pipewire-0", "xdg/pipewire-0.lock", "xdg/pipewire-0-manager",
                                "xdg/pipewire-0-manager.lock"})
        std::filesystem::remove(dossier / reste);
      processus_.emplace_back(std::vector<std::string>{"pipewire"});
      if (!attendre([&] { return std::filesystem::exists(dossier / "xdg/pipewire-0"); }))
        return false;
      processus_.emplace_back(std::vector<std::string>{"wireplumber"});
      processus_.emplace_back(std::vector<std::string>{"pipewire-pulse"});
    } else {
      const std::string socket = (dossier / "xdg/pulse/native").string();
      processus_.emplace_back(std::vector<std::string>{
          "pulseaudio", "--daemonize=no", "-n", "--exit-idle-time=-1", "--disallow-exit=yes",
          "--disallow-module-loading=no", "--log-target=file:" + journal, "-L",
          "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
          "module-null-sink sink_name=speakers rate=48000 channels=2", "-L",
          "module-null-sink sink_name=salon rate=48000 channels=2"});
    }
    if (!attendre(
            [] { return essai::commande("pactl info >/dev/null 2>&1 && echo oui") == "oui\n"; }))
      return false;
    // La politique de WirePlumber range les sorties en différé : on attend de les voir.
    if (!attendre([] {
          const std::string s = essai::commande("pactl list short sinks");
          return s.find("speakers") != std::string::npos && s.find("salon") != std::string::npos;
        }))
      return false;
    essai::commande("pactl set-default-sink speakers && pactl set-default-source speakers.monitor");
    return attendre([] { return essai::ligne("pactl get-default-sink") == "speakers"; });
  }

  /// Tue net le serveur (SIGKILL) et attend chacun de ses processus ; le bus reste.
  void tuer() {
    for (auto& p : processus_) p.arreter(SIGKILL);
    processus_.clear();
  }

 private:
  void changer(const std::string& nom, const std::optional<std::string>& valeur) {
    const char* avant = std::getenv(nom.c_str());
    anciens_.try_emplace(nom, avant ? std::optional<std::string>(avant) : std::nullopt);
    poser(nom, valeur);
  }
  static void poser(const std::string& nom, const std::optional<std::string>& valeur) {
    if (valeur) {
      ::setenv(nom.c_str(), valeur->c_str(), 1);
    } else {
      ::unsetenv(nom.c_str());
    }
  }

  static std::string sortieNulle(const char* nom) {
    return std::string(
               "  { factory = adapter args = { factory.name = support.null-audio-sink "
               "node.name = \"") +
           nom +
           "\" media.class = \"Audio/Sink\" audio.position = [ FL FR ] audio.rate = 48000 "
           "monitor.channel-volumes = true } }\n";
  }

  bool pipewire_;
  std::map<std::string, std::optional<std::string>> anciens_;
  std::optional<essai::ProgrammeLance> bus_;
  std::list<essai::ProgrammeLance> processus_;
};

// Une seconde du moniteur d'une sortie (SIGINT : tué autrement, parec perd ce qu'il tient),
// sa seconde moitié, voie gauche.
std::vector<std::int16_t> moniteur(const std::filesystem::path& brut, const std::string& sortie) {
  essai::commande("timeout -s INT 1 parec --latency-msec=20 --device=" + sortie +
                  ".monitor --raw --format=s16le --rate=48000 --channels=2 > " + brut.string());
  const auto e = essai::echantillons(brut.string());
  std::vector<std::int16_t> gauche;
  for (std::size_t i = e.size() / 4 * 2; i < e.size(); i += 2) gauche.push_back(e[i]);
  return gauche;
}
double niveau(const std::vector<std::int16_t>& e) {
  return essai::rms(e.data(), e.size());
}
// La valeur efficace médiane des tranches de 10 ms : le niveau du ton, pas celui des trous
// qu'une machine chargée peut laisser dans la sortie.
double niveauDuTon(const std::vector<std::int16_t>& e) {
  std::vector<double> tranches;
  for (std::size_t i = 0; i + 480 <= e.size(); i += 480) tranches.push_back(essai::rms(&e[i], 480));
  if (tranches.empty()) return 0;
  const auto milieu = tranches.begin() + static_cast<std::ptrdiff_t>(tranches.size() / 2);
  std::ranges::nth_element(tranches, milieu);
  return *milieu;
}

// La fréquence d'un ton par sa période médiane entre montées par zéro, datées à l'échantillon :
// elle ne voit pas un trou qu'une machine lente peut laisser dans la sortie, une vitesse
// fausse si. 0 sans assez de périodes.
double frequence(const std::vector<std::int16_t>& e) {
  std::vector<double> periodes;
  std::optional<double> montee;
  for (std::size_t i = 1; i < e.size(); ++i) {
    if (e[i - 1] >= 0 || e[i] < 0) continue;
    const double t = static_cast<double>(i) - 1.0 + e[i - 1] / double(e[i - 1] - e[i]);
    if (montee) periodes.push_back(t - *montee);
    montee = t;
  }
  if (periodes.size() < 100) return 0;
  const auto milieu = periodes.begin() + static_cast<std::ptrdiff_t>(periodes.size() / 2);
  std::ranges::nth_element(periodes, milieu);
  return 48'000.0 / *milieu;
}

// Un ton joue sur « speakers », ravlo-envoi le capte et l'envoie, ravlo-recepteur le joue sur
// « salon », à sa fréquence et à son niveau. Le serveur tué, le récepteur le dit en français et
// attend, l'envoi continue sans capture ; relancé au même endroit, la capture reprend seule, la
// sortie se rouvre seule, le ton revient sur « salon », et ni l'appairage ni l'expéditeur n'ont
// changé.
TEST(DemonPulseReprise, LeServeurDeSonTueEtRelanceLeSonRevientDesDeuxCotes) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "sans démon d'essai (scripts/services)";
  const bool pipewire = serveurPipewire();
  const char* genre = pipewire ? "PipeWire" : "PulseAudio";
  ServeurPrive serveur(pipewire);
  const auto& dossier = serveur.dossier;
  ASSERT_TRUE(serveur.demarrer()) << genre;

  // 40 s de 440 Hz à −6 dBFS.
  const auto ton = dossier / "ton.wav";
  std::vector<std::int16_t> e(2 * 48'000 * 40);
  for (std::size_t i = 0; i < e.size(); ++i)
    e[i] = static_cast<std::int16_t>(16'384 * std::sin(2 * M_PI * 440 * double(i / 2) / 48'000));
  essai::ecrireWav(ton.string(), e);
  auto jouer = [&] {
    return std::make_unique<essai::ProgrammeLance>(
        std::vector<std::string>{"paplay", "--device=speakers", ton.string()});
  };
  auto joueur = jouer();
  const std::string statsR = (dossier / "r.json").string();
  essai::RecepteurLance recepteur({"--sortie", "salon", "--code", "2468", "--stats", statsR});
  ASSERT_NE(recepteur.port, 0) << recepteur.journal;
  const std::string statsE = (dossier / "e.json").string();
  essai::ProgrammeLance envoi(
      {RAVLO_ENVOI, "--capture", "--vers", recepteur.vers(), "--code", "2468", "--stats", statsE},
      true);
  const std::string appairage = recepteur.lire("Appairé avec ", 30s);
  ASSERT_NE(appairage, "") << recepteur.journal;
  const auto brut = dossier / "moniteur.raw";
  std::vector<std::int16_t> joue;
  // Une capture assez longue pour compter ses périodes : sous charge, parec démarre tard.
  ASSERT_TRUE(attendre([&] {
    joue = moniteur(brut, "salon");
    return niveau(joue) > 0.3 && frequence(joue) > 0;
  })) << genre
      << " : le ton n'arrive pas avant la panne\n"
      << recepteur.journal;
  EXPECT_NEAR(frequence(joue), 440.0, 2.0);
  EXPECT_NEAR(20 * std::log10(niveauDuTon(joue) * std::sqrt(2.0)), -6.0, 1.0) << "dBFS de crête";

  joueur.reset();
  serveur.tuer();
  ASSERT_NE(recepteur.lire("La lecture s'est arrêtée : le serveur de son", 30s), "")
      << recepteur.journal;
  ASSERT_NE(envoi.lire("Plus rien n'est capté", 30s), "") << envoi.journal;

  ASSERT_TRUE(serveur.demarrer()) << genre << " relancé";
  joueur = jouer();
  ASSERT_NE(recepteur.lire("La lecture reprend", 30s), "") << recepteur.journal;
  ASSERT_NE(envoi.lire("La capture du son a repris", 30s), "") << envoi.journal;
  EXPECT_TRUE(attendre([&] { return niveau(moniteur(brut, "salon")) > 0.3; }))
      << genre << " : le ton ne revient pas\n"
      << recepteur.journal;
  EXPECT_TRUE(envoi.enVie()) << "l'envoi n'a pas fini : " << envoi.journal;
  EXPECT_EQ(envoi.journal.find("ne répond plus"), std::string::npos) << envoi.journal;
  EXPECT_EQ(recepteur.arreter(SIGTERM), 0) << recepteur.journal;
  EXPECT_EQ(recepteur.journal.find("Connection"), std::string::npos) << recepteur.journal;
  const auto st = nlohmann::json::parse(std::ifstream(statsR), nullptr, false);
  EXPECT_EQ(st["appairages"], 1) << st.dump();
  EXPECT_EQ(st["reprisesSortie"], 1) << st.dump();
  EXPECT_TRUE(st["erreurSortie"].is_string()) << st.dump();
  EXPECT_TRUE(st["finEnvoyee"].get<bool>()) << "l'expéditeur gardé reçoit la fin";
  // ravlo-envoi appaire depuis une socket et envoie le son depuis une autre : les réponses
  // d'horloge et la fin l'atteignent quand même.
  EXPECT_GT(st["reponsesHorloge"].get<int>(), 0);
  EXPECT_NE(st["expediteur"].get<std::string>(), appairage.substr(0, appairage.size() - 1));
  EXPECT_EQ(envoi.attendre(), 0) << envoi.journal;
  EXPECT_EQ(nlohmann::json::parse(std::ifstream(statsE), nullptr, false)["raison"], "fin");
  // Sous PulseAudio, la sortie dit la réserve qu'elle demande : 10 ms, relevée au plus à 40.
  if (!pipewire) {
    ASSERT_TRUE(st["latenceSortieMs"].is_number()) << st.dump();
    EXPECT_GE(st["latenceSortieMs"].get<double>(), 10.0);
    EXPECT_LE(st["latenceSortieMs"].get<double>(), 40.0);
  }
}

}  // namespace
}  // namespace ravlo
