// SPDX-License-Identifier: MPL-2.0
// ravlo-envoi --navigateur face à une page sans navigateur : le client WebSocket de Beast en
// boucle locale porte le noyau de la page compilé en natif, comme la page le porte en
// WebAssembly.
#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <csignal>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "faux/attente.hpp"
#include "faux/programme_lance.hpp"
#include "navigateur/noyau/noyau_page.hpp"
#include "plateforme/web/bonjour_page.hpp"

namespace ravlo {
namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using essai::attendreQue;
using essai::ProgrammeLance;
using namespace std::chrono_literals;

constexpr std::int64_t frequenceSortie = 48'000;

/// Une page reliée au serveur de `port` : son fil mène le WebSocket et le noyau, avance son
/// tic, tire le son au rythme du temps réel et garde la voie gauche une fois la lecture partie.
class PageEssai {
 public:
  /// `souvenir` : ce qu'une page précédente a gardé ; le bonjour dit alors l'identifiant et
  /// la reprise, comme page.js.
  PageEssai(std::uint16_t port, const std::string& nom, VueOctets souvenir = {}) {
    noyau_ = NoyauPage::creer(nom, "fr-FR", frequenceSortie, ms(), souvenir);
    ws_.next_layer().connect({net::ip::make_address("127.0.0.1"), port});
    const std::string hote = "127.0.0.1:" + std::to_string(port);
    ws_.set_option(websocket::stream_base::decorator([hote](websocket::request_type& r) {
      r.set(beast::http::field::origin, "http://" + hote);
    }));
    ws_.handshake(hote, "/ravlo");
    ws_.text(true);
    ws_.write(
        net::buffer(ecrireBonjourPage({nom, "fr-FR", noyau_->identifiant(), noyau_->reprend()})));
    ws_.binary(true);
    fil_ = std::thread([this] {
      lire();
      cadencer();
      io_.run();
    });
  }
  ~PageEssai() {
    io_.stop();
    fil_.join();
  }

  std::string code() {
    const std::scoped_lock garde(verrou_);
    return noyau_->code();
  }
  std::vector<float> son() {
    const std::scoped_lock garde(verrou_);
    return son_;
  }
  Octets souvenir() {
    const std::scoped_lock garde(verrou_);
    return noyau_->souvenir();
  }
  /// « Arrêter ».
  void terminer() { terminer_ = true; }
  /// Rechargée ou onglet fermé : le WebSocket se ferme sans « Arrêter ».
  void partir() {
    net::post(io_, [this] { ws_.async_close(websocket::close_code::going_away, [](auto) {}); });
  }

 private:
  double ms() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - debut_)
        .count();
  }

  void lire() {
    ws_.async_read(tampon_, [this](beast::error_code e, std::size_t) {
      if (e) return;
      {
        const std::scoped_lock garde(verrou_);
        const auto d = tampon_.data();
        noyau_->recevoir(VueOctets(static_cast<const std::uint8_t*>(d.data()), d.size()), ms());
      }
      tampon_.consume(tampon_.size());
      pomper();
      lire();
    });
  }

  void pomper() {
    {
      const std::scoped_lock garde(verrou_);
      while (auto d = noyau_->prendreEnvoi()) envois_.push_back(std::move(*d));
    }
    if (ecriture_ || envois_.empty()) return;
    ecriture_ = true;
    ws_.async_write(net::buffer(envois_.front()), [this](beast::error_code e, std::size_t) {
      ecriture_ = false;
      envois_.pop_front();
      if (!e) pomper();
    });
  }

  void cadencer() {
    tic_.expires_after(5ms);
    tic_.async_wait([this](beast::error_code e) {
      if (e) return;
      {
        const std::scoped_lock garde(verrou_);
        const double maintenant = ms();
        noyau_->avancer(maintenant);
        if (terminer_ && !termine_) {
          noyau_->terminer();
          termine_ = true;
        }
        const auto dues = static_cast<std::int64_t>(maintenant * frequenceSortie / 1000);
        while (tirees_ < dues) {
          const auto n = std::min<std::int64_t>(dues - tirees_, 480);
          std::vector<float> bloc(static_cast<std::size_t>(2 * n));
          noyau_->tirer(bloc, maintenant);
          tirees_ += n;
          if (noyau_->etat(maintenant) != NoyauPage::Etat::lecture) continue;
          for (std::size_t i = 0; i < bloc.size(); i += 2) son_.push_back(bloc[i]);
        }
      }
      pomper();
      cadencer();
    });
  }

  const std::chrono::steady_clock::time_point debut_ = std::chrono::steady_clock::now();
  net::io_context io_;
  websocket::stream<tcp::socket> ws_{io_};
  beast::flat_buffer tampon_;
  net::steady_timer tic_{io_};
  std::deque<Octets> envois_;  // fil de la page seul
  bool ecriture_ = false;
  bool termine_ = false;
  std::atomic<bool> terminer_ = false;
  std::mutex verrou_;
  std::unique_ptr<NoyauPage> noyau_;
  std::vector<float> son_;
  std::int64_t tirees_ = 0;
  std::thread fil_;
};

// Le carnet des récepteurs retenus de l'envoi, dans un dossier d'état à l'essai.
struct RavloEnvoiNavigateur : ::testing::Test {
  void SetUp() override {
    for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG", "RAVLO_CODE"}) ::unsetenv(v);
    std::filesystem::remove_all(etat);
    ::setenv("XDG_STATE_HOME", etat.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(etat); }
  const std::filesystem::path etat =
      std::filesystem::temp_directory_path() / ("ravlo-navigateur-" + std::to_string(::getpid()));
};

// La page servie sur un port libre, lu sur la sortie de l'envoi.
std::uint16_t portServi(ProgrammeLance& envoi) {
  return static_cast<std::uint16_t>(std::atoi(envoi.lire("Page servie sur le port ").c_str()));
}

// Un téléphone se relie, se dit, refuse un code faux puis s'appaire au sien et joue le ton.
// Seul, il l'arrête, et l'envoi finit comme pour un récepteur qui arrête la lecture. Rechargé
// (un noyau neuf, de son souvenir), il est repris sans code par l'envoi suivant, à côté d'un
// récepteur, et joue ; sa page fermée sans « Arrêter » le quitte 10 s plus tard (le temps de
// revenir), comme sur sa fin, pas comme un récepteur muet abandonné (« ne répond plus »).
TEST_F(RavloEnvoiNavigateur, UnTelephoneSAppaireJoueEstReprisPuisQuitteLEnvoi) {
  std::vector<std::string> options{RAVLO_ENVOI, "--navigateur", "--port-web", "0", "--ton", "1000"};
  Octets souvenir;
  {
    ProgrammeLance envoi(options, true, true);
    const auto port = portServi(envoi);
    ASSERT_NE(port, 0) << envoi.journal;
    // Un second envoi sur le même port : refusé, dit, statut non nul.
    {
      ProgrammeLance second({RAVLO_ENVOI, "--navigateur", "--port-web", std::to_string(port)},
                            true);
      EXPECT_FALSE(second.lire("est déjà pris").empty()) << second.journal;
      EXPECT_EQ(second.attendre(), 1);
    }
    PageEssai page(port, "Pixel — Chrome");
    EXPECT_EQ(envoi.lire("Téléphone connecté : "), "Pixel — Chrome") << envoi.journal;
    ASSERT_FALSE(envoi.lire("Tape le code que montre ").empty()) << envoi.journal;
    const std::string premier = page.code();
    ASSERT_TRUE(envoi.ecrire((premier == "0000" ? "1111" : "0000") + std::string("\n")));
    EXPECT_FALSE(envoi.lire("Code refusé").empty()) << envoi.journal;
    // Le code est redemandé au même téléphone, qui en montre un neuf.
    EXPECT_EQ(envoi.lire("Tape le code que montre "), "« Pixel — Chrome », puis Entrée :");
    ASSERT_TRUE(attendreQue([&] { return page.code() != premier; }));
    ASSERT_TRUE(envoi.ecrire(page.code() + "\n"));
    EXPECT_EQ(envoi.lire("Appairé avec "), "« Pixel — Chrome ».") << envoi.journal;

    // Le ton juste et sans trou à la sortie d'une vraie page : PageChromium ; ici, qu'il arrive.
    ASSERT_TRUE(attendreQue([&] { return page.son().size() >= frequenceSortie / 4; }, 30s))
        << envoi.journal;
    souvenir = page.souvenir();
    ASSERT_FALSE(souvenir.empty());
    page.terminer();
    EXPECT_FALSE(envoi.lire("Le récepteur a arrêté la lecture").empty()) << envoi.journal;
    EXPECT_EQ(envoi.attendre(), 0);
  }

  essai::RecepteurLance recepteur({"--wav", "/dev/null"});
  ASSERT_NE(recepteur.port, 0);
  options.insert(options.end(), {"--vers", recepteur.vers(), "--code", recepteur.code});
  ProgrammeLance envoi(options, true, true);
  PageEssai page(portServi(envoi), "Pixel — Chrome", souvenir);
  EXPECT_EQ(envoi.lire("Appairage repris avec "), "« Pixel — Chrome ».") << envoi.journal;
  ASSERT_TRUE(attendreQue([&] { return page.son().size() >= frequenceSortie / 4; }, 30s))
      << envoi.journal;
  page.partir();
  // Les deux lignes viennent de deux fils : dans un ordre ou l'autre.
  bool dit = false;
  bool finie = false;
  const auto echeance = std::chrono::steady_clock::now() + 40s;
  while (!(dit && finie) && std::chrono::steady_clock::now() < echeance) {
    const std::string ligne = envoi.lire("", 2s);
    dit = dit || ligne == "Téléphone parti : Pixel — Chrome";
    finie = finie || ligne ==
                         "« Pixel — Chrome » a arrêté la lecture ; l'envoi continue vers "
                         "les autres récepteurs.";
  }
  EXPECT_TRUE(dit && finie) << envoi.journal;
  EXPECT_TRUE(envoi.attendrePaquets(1)) << envoi.journal;
  EXPECT_EQ(envoi.arreter(SIGINT), 0);
  EXPECT_EQ(envoi.journal.find("Tape le code"), std::string::npos) << envoi.journal;
}

// --liste --navigateur attend qu'un téléphone ouvre la page, puis le liste après les
// récepteurs trouvés, avec l'adresse d'où il s'est relié.
TEST_F(RavloEnvoiNavigateur, LaListeMontreLesTelephonesRelies) {
  ProgrammeLance liste({RAVLO_ENVOI, "--liste", "--navigateur", "--port-web", "0"}, true);
  const auto port = portServi(liste);
  ASSERT_NE(port, 0) << liste.journal;
  PageEssai page(port, "iPhone — Safari");
  // « iPhone — Safari<tab>127.0.0.1:PORT<tab>téléphone »
  const std::string ligne = liste.lire("iPhone — Safari\t127.0.0.1:", 20s);
  const auto tab = ligne.find('\t');
  ASSERT_NE(tab, std::string::npos) << liste.journal;
  EXPECT_GT(std::atoi(ligne.substr(0, tab).c_str()), 0);
  EXPECT_EQ(ligne.substr(tab), "\ttéléphone");
  EXPECT_EQ(liste.attendre(), 0);
}

}  // namespace
}  // namespace ravlo
