// ravlo-recepteur lancé pour de vrai face à ravlo-envoi, sur la boucle locale.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>
#include <random>

#include "e2e/outils_pulse.hpp"
#include "outils/relais_udp.hpp"
#include "protocol/fichier_wav.hpp"

namespace ravlo {
namespace {

using essai::Processus;
using namespace std::chrono_literals;

struct Recepteur {
  explicit Recepteur(std::vector<std::string> options) {
    options.insert(options.begin(), {RAVLO_RECEPTEUR, "--sans-annonce"});
    processus = std::make_unique<Processus>(options, true);
    port = lire("Port : ");
    code = lire("Code : ");
  }
  /// La valeur de la prochaine ligne qui commence par `debut`.
  std::string lire(const std::string& debut) {
    for (std::string l = processus->ligne(); !l.empty() || debut.empty(); l = processus->ligne())
      if (l.starts_with(debut)) return l.substr(debut.size());
    return {};
  }
  std::unique_ptr<Processus> processus;
  std::string port;
  std::string code;
};

nlohmann::json json(const std::filesystem::path& chemin) {
  return nlohmann::json::parse(std::ifstream(chemin), nullptr, false);
}

std::vector<std::int16_t> echantillons(const std::filesystem::path& chemin) {
  std::ifstream f(chemin, std::ios::binary);
  const std::string tout((std::istreambuf_iterator<char>(f)), {});
  std::vector<std::int16_t> e((tout.size() - 44) / 2);
  std::memcpy(e.data(), tout.data() + 44, e.size() * 2);
  return e;
}

void injecter(std::uint16_t port, const std::vector<Octets>& datagrammes) {
  const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in vers{};
  vers.sin_family = AF_INET;
  vers.sin_port = htons(port);
  vers.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (const auto& d : datagrammes) {
    ::sendto(s, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&vers), sizeof vers);
    std::this_thread::sleep_for(2ms);
  }
  ::close(s);
}

struct RavloRecepteur : ::testing::Test {
  std::filesystem::path dossier =
      std::filesystem::temp_directory_path() / ("ravlo-recepteur-" + std::to_string(getpid()));
  void SetUp() override { std::filesystem::create_directories(dossier); }
  void TearDown() override { std::filesystem::remove_all(dossier); }
  std::string chemin(const char* nom) const { return (dossier / nom).string(); }
};

// Un code faux fait montrer un code neuf, qui sert ensuite. Pendant la lecture, par un relais
// qui rejoue 5 % des datagrammes, on injecte au port des enveloppes forgées, tronquées et
// des messages d'appairage mal formés : tous refusés et comptés, sans trou, et le WAV écrit
// reprend le fichier envoyé à l'échantillon près après le silence d'amorce. SIGTERM : la fin
// atteint ravlo-envoi, qui sort avec 0.
TEST_F(RavloRecepteur, WavExactMalgreInjectionsApresUnCodeFaux) {
  std::vector<std::int16_t> entree(2 * 48'000 * 5);
  std::mt19937 alea(11);
  for (auto& e : entree) e = static_cast<std::int16_t>(1 + alea() % 30'000);
  {
    std::ofstream f(chemin("entree.wav"), std::ios::binary);
    const Octets entete = FichierWav::entete(static_cast<std::uint32_t>(entree.size() * 2));
    f.write(reinterpret_cast<const char*>(entete.data()),
            static_cast<std::streamsize>(entete.size()));
    f.write(reinterpret_cast<const char*>(entree.data()),
            static_cast<std::streamsize>(entree.size() * 2));
  }
  Recepteur r({"--wav", chemin("sortie.wav"), "--stats", chemin("r.json")});
  const std::string faux = r.code == "0000" ? "0001" : "0000";
  EXPECT_EQ(Processus({RAVLO_ENVOI, "--vers", "127.0.0.1:" + r.port, "--code", faux}).attendre(),
            1);
  const std::string code = r.lire("Code : ");
  ASSERT_FALSE(code.empty());
  EXPECT_NE(code, r.code);

  test::RelaisUDP relais(static_cast<std::uint16_t>(std::stoi(r.port)), {.doublon = 0.05});
  Processus envoi({RAVLO_ENVOI, "--vers", "127.0.0.1:" + std::to_string(relais.port()), "--code",
                   code, "--wav", chemin("entree.wav"), "--stats", chemin("e.json")});
  std::this_thread::sleep_for(1500ms);
  std::vector<Octets> hostiles;
  for (std::uint8_t i = 0; i < 40; ++i) {
    Octets forge(1308, i);
    forge[0] = 'R', forge[1] = 'V', forge[2] = 2, forge[3] = 0;
    hostiles.push_back(forge);
    hostiles.push_back(Octets(forge.begin(), forge.begin() + i % 28));
    hostiles.push_back(Octets{'R', 'P', 1, i});
  }
  injecter(static_cast<std::uint16_t>(std::stoi(r.port)), hostiles);
  std::this_thread::sleep_for(1500ms);
  r.processus->tuer(SIGTERM);
  EXPECT_EQ(r.processus->attendre(), 0);
  EXPECT_EQ(envoi.attendre(), 0);
  EXPECT_EQ(json(chemin("e.json"))["raison"], "fin");

  const auto s = json(chemin("r.json"));
  EXPECT_EQ(s["appairages"], 1);
  EXPECT_EQ(s["trous"], 0);
  EXPECT_GE(s["enveloppesRefusees"].get<int>(), static_cast<int>(hostiles.size()));
  EXPECT_GT(s["reponsesHorloge"].get<int>(), 0);
  EXPECT_TRUE(s["finEnvoyee"].get<bool>());

  const auto sortie = echantillons(chemin("sortie.wav"));
  std::size_t debut = 0;
  while (debut < sortie.size() && sortie[debut] == 0) ++debut;
  ASSERT_LT(debut + 96'000, sortie.size()) << "moins d'une seconde de son";
  const auto ou = std::search(entree.begin(), entree.end(), sortie.begin() + debut,
                              sortie.begin() + debut + 64);
  ASSERT_NE(ou, entree.end()) << "le début du son n'est pas dans le fichier envoyé";
  const auto n =
      std::min<std::size_t>(sortie.size() - debut, static_cast<std::size_t>(entree.end() - ou));
  EXPECT_TRUE(std::equal(sortie.begin() + debut, sortie.begin() + debut + n, ou));
}

// 20 s à travers un relais qui perd 1 % et ajoute jusqu'à 10 ms de gigue : les pertes sont
// comblées, aucun trou après l'amorce ; la fin à --secondes passe le relais.
TEST_F(RavloRecepteur, AucunTrouAUnPourCentDePerteEtDixMsDeGigue) {
  Recepteur r({"--wav", chemin("sortie.wav"), "--stats", chemin("r.json"), "--secondes", "20",
               "--code", "2468"});
  test::RelaisUDP relais(static_cast<std::uint16_t>(std::stoi(r.port)),
                         {.perte = 0.01, .gigue = 10ms, .graine = 5});
  Processus envoi({RAVLO_ENVOI, "--vers", "127.0.0.1:" + std::to_string(relais.port()), "--code",
                   "2468", "--ton", "1000", "--secondes", "40"});
  EXPECT_EQ(r.processus->attendre(), 0);
  EXPECT_EQ(envoi.attendre(), 0);
  const auto s = json(chemin("r.json"));
  EXPECT_EQ(s["trous"], 0);
  EXPECT_GT(s["paquetsPerdus"].get<int>(), 0);
  EXPECT_GT(s["trousCombles"].get<int>(), 0);
  EXPECT_GT(s["paquetsRecus"].get<int>(), 2500);
}

// Un ton de 1 kHz à −6 dBFS envoyé par ravlo-envoi arrive sur le moniteur de la sortie à son
// niveau et à sa fréquence. ravlo-envoi appaire depuis une socket et envoie le son depuis une
// autre : les réponses d'horloge et la fin l'atteignent quand même.
TEST(DemonPulseRecepteur, TonAuNiveauEtALaFrequenceEtFinAuPortDuSon) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "sans démon PulseAudio d'essai";
  const auto dossier =
      std::filesystem::temp_directory_path() / ("ravlo-rp-" + std::to_string(getpid()));
  std::filesystem::create_directories(dossier);
  const std::string puits = essai::puitsParDefaut();
  Recepteur r({"--sortie", puits, "--stats", (dossier / "r.json").string(), "--code", "1357"});
  Processus envoi({RAVLO_ENVOI, "--vers", "127.0.0.1:" + r.port, "--code", "1357", "--ton", "1000",
                   "--stats", (dossier / "e.json").string()});
  const std::string appairage = r.lire("Appairé avec ");
  std::this_thread::sleep_for(2s);
  const auto brut = (dossier / "moniteur.raw").string();
  essai::commande("timeout 2 parec --device=" + puits +
                  ".monitor --raw --format=s16le --rate=48000 --channels=2 > " + brut);
  r.processus->tuer(SIGTERM);
  EXPECT_EQ(envoi.attendre(), 0);

  std::ifstream f(brut, std::ios::binary);
  const std::string tout((std::istreambuf_iterator<char>(f)), {});
  std::vector<std::int16_t> e(tout.size() / 2);
  std::memcpy(e.data(), tout.data(), e.size() * 2);
  ASSERT_GT(e.size(), 2u * 48'000);
  std::vector<std::int16_t> gauche;
  for (std::size_t i = e.size() / 4 * 2; i + 1 < e.size(); i += 2) gauche.push_back(e[i]);
  int passages = 0;
  for (std::size_t i = 1; i < gauche.size(); ++i)
    passages += (gauche[i - 1] < 0) != (gauche[i] < 0) ? 1 : 0;
  const double frequence = passages / 2.0 / (static_cast<double>(gauche.size()) / 48'000.0);
  EXPECT_NEAR(frequence, 1000.0, 5.0);
  const double niveau = essai::rms(gauche.data(), gauche.size()) * std::sqrt(2.0);
  EXPECT_NEAR(20 * std::log10(niveau), -6.0, 1.0);

  const auto s = json(dossier / "r.json");
  EXPECT_TRUE(s["finEnvoyee"].get<bool>());
  EXPECT_GT(s["reponsesHorloge"].get<int>(), 0);
  EXPECT_NE(s["expediteur"].get<std::string>(), appairage.substr(0, appairage.size() - 1));
  EXPECT_EQ(json(dossier / "e.json")["raison"], "fin");
  std::filesystem::remove_all(dossier);
}

}  // namespace
}  // namespace ravlo
