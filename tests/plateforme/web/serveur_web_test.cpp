// SPDX-License-Identifier: MPL-2.0
// Le vrai serveur en boucle locale, IPv4 et IPv6, face au client de Beast.
#include "plateforme/web/serveur_web.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <set>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include "faux/attente.hpp"
#include "link/ressources/page/page_embarquee.hpp"
#include "plateforme/file_serie.hpp"
#include "plateforme/web/bonjour_page.hpp"
#include "plateforme/web/canal_page.hpp"

namespace ravlo {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using essai::attendreQue;

const char* const adresses[] = {"127.0.0.1", "::1"};

// TCP_NODELAY de la socket du serveur reliée au port `port` du client, parmi celles de ce
// processus (le serveur y tourne) ; rien si aucune ne l'est.
std::optional<int> nodelayCoteServeur(std::uint16_t port) {
  for (int fd = 0; fd < 1024; ++fd) {
    sockaddr_in6 a{};  // le port d'une adresse IPv4 est au même endroit
    socklen_t n = sizeof a;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0 ||
        (a.sin6_family != AF_INET && a.sin6_family != AF_INET6) || ntohs(a.sin6_port) != port)
      continue;
    int valeur = 0;
    socklen_t taille = sizeof valeur;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &valeur, &taille) != 0) return std::nullopt;
    return valeur;
  }
  return std::nullopt;
}

struct ReponseHttp {
  unsigned statut = 0;
  std::string type;
  std::string corps;
};

/// Ce que l'accueil annonce, relevé sur sa file.
struct Releve {
  std::mutex verrou;
  std::vector<PageConnectee> arrivees;
  std::vector<PointReseau> departs;

  template <class F>
  auto lire(F f) {
    std::scoped_lock garde(verrou);
    return f(*this);
  }
};

class ServeurWebTest : public ::testing::TestWithParam<const char*> {
 protected:
  void lancer(ReglagesServeurWeb reglages = {}) {
    serveur_ = std::make_unique<ServeurWeb>(ressourcesPage(), std::move(reglages));
    serveur_->demarrer(
        file_,
        [this](const PageConnectee& p) {
          // Gardée avant d'être relevée : l'essai qui voit l'arrivée peut changer de consigne.
          if (garderALArrivee_) serveur_->garder(p.point);
          releve_.lire([&](Releve& r) { r.arrivees.push_back(p); });
        },
        [this](const PointReseau& p) { releve_.lire([&](Releve& r) { r.departs.push_back(p); }); });
    const auto port = serveur_->ecouter(0);
    ASSERT_TRUE(port.has_value());
    port_ = *port;
  }

  [[nodiscard]] tcp::endpoint point() const { return {net::ip::make_address(GetParam()), port_}; }
  [[nodiscard]] std::string hote() const { return enTexte(GetParam(), port_); }

  tcp::socket relier() {
    tcp::socket s(contexte_);
    s.connect(point());
    return s;
  }

  ReponseHttp obtenir(const std::string& cible, const std::string& enteteLong = {}) {
    tcp::socket s = relier();
    http::request<http::empty_body> requete{http::verb::get, cible, 11};
    requete.set(http::field::host, hote());
    if (!enteteLong.empty()) requete.set("X-Long", enteteLong);
    http::write(s, requete);
    beast::flat_buffer tampon;
    http::response<http::string_body> reponse;
    beast::error_code e;
    http::read(s, tampon, reponse, e);
    if (e) return {};
    return {reponse.result_int(), std::string(reponse[http::field::content_type]),
            std::move(reponse.body())};
  }

  /// Une page reliée ; `statut` reçoit celui de la réponse au passage en WebSocket.
  std::unique_ptr<websocket::stream<tcp::socket>> page(const std::string& origine,
                                                       const std::string& chemin = "/ravlo",
                                                       unsigned* statut = nullptr) {
    auto ws = std::make_unique<websocket::stream<tcp::socket>>(relier());
    ws->set_option(websocket::stream_base::decorator([origine](websocket::request_type& r) {
      if (!origine.empty()) r.set(http::field::origin, origine);
    }));
    websocket::response_type reponse;
    beast::error_code e;
    ws->handshake(reponse, hote(), chemin, e);
    if (statut != nullptr) *statut = reponse.result_int();
    if (e) return nullptr;
    return ws;
  }

  std::unique_ptr<websocket::stream<tcp::socket>> pageAnnoncee(const std::string& nom) {
    auto ws = page("http://" + hote());
    if (!ws) return nullptr;
    ws->text(true);
    ws->write(net::buffer(ecrireBonjourPage({nom, "fr-FR"})));
    const bool vue = attendreQue([&] {
      return releve_.lire([&](Releve& r) {
        return std::ranges::any_of(r.arrivees, [&](const auto& p) { return p.nom == nom; });
      });
    });
    if (!vue) return nullptr;
    return ws;
  }

  [[nodiscard]] PageConnectee arrivee(const std::string& nom) {
    return releve_.lire([&](Releve& r) {
      return *std::ranges::find_if(r.arrivees, [&](const auto& p) { return p.nom == nom; });
    });
  }

  // Vrai quand le serveur a fermé avant `borne` : la lecture y trouve la fin.
  static bool fermeeSous(tcp::socket& s, std::chrono::milliseconds borne) {
    pollfd p{s.native_handle(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(borne.count())) != 1) return false;
    std::array<char, 1> octet{};
    beast::error_code e;
    s.read_some(net::buffer(octet), e);
    return e == net::error::eof || e == net::error::connection_reset;
  }
  // Vrai quand le serveur ferme la page avant `borne` ; ses messages d'ici là sont jetés.
  bool fermeeSous(websocket::stream<tcp::socket>& ws, std::chrono::milliseconds borne) {
    const auto fin = std::chrono::steady_clock::now() + borne;
    beast::flat_buffer tampon;
    for (;;) {
      std::optional<beast::error_code> lu;
      ws.async_read(tampon, [&](beast::error_code e, std::size_t) { lu = e; });
      contexte_.restart();
      contexte_.run_until(fin);
      if (!lu) {
        ws.next_layer().cancel();
        contexte_.restart();
        contexte_.run();
        return false;
      }
      if (*lu) {
        return *lu == websocket::error::closed || *lu == net::error::eof ||
               *lu == net::error::connection_reset || *lu == net::error::not_connected;
      }
      tampon.clear();
    }
  }

  net::io_context contexte_;
  // Avant la file : ses rappels l'écrivent jusqu'à ce qu'elle s'arrête.
  Releve releve_;
  std::atomic<bool> garderALArrivee_ = false;
  FileSerie file_{"essai.pages"};
  std::unique_ptr<ServeurWeb> serveur_;
  std::uint16_t port_ = 0;
};

// Le serveur, la file des pages et le client ont chacun leur fil : sous ThreadSanitizer aussi.
INSTANTIATE_TEST_SUITE_P(Concurrence, ServeurWebTest, ::testing::ValuesIn(adresses));

std::string lireFichier(const std::string& chemin) {
  std::ifstream f(chemin, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

// La page telle qu'un navigateur la charge : de « / », chaque fichier qu'un autre nomme
// (feuille, script, module importé, module WebAssembly) est servi sous son type, tel qu'il est
// sur le disque, et le tout pèse moins d'un mégaoctet. Rien d'autre n'est servi, un en-tête
// trop long est refusé ; le WebSocket exige son chemin et l'origine de la page.
TEST_P(ServeurWebTest, SertLaPageEtCeQuElleNommeEtRienDAutre) {
  lancer();
  const std::string source = RAVLO_PAGE_SOURCE;
  const std::string js = "text/javascript; charset=utf-8";
  // Un module servi sous un autre type, le navigateur refuse de l'exécuter.
  const std::map<std::string, std::pair<std::string, std::string>> fichiers = {
      {"/", {"text/html; charset=utf-8", source + "/index.html"}},
      {"/page.js", {js, source + "/page.js"}},
      {"/logique.mjs", {js, source + "/logique.mjs"}},
      {"/page.css", {"text/css; charset=utf-8", source + "/page.css"}},
      {"/noyau.mjs", {js, RAVLO_NOYAU_MJS}},
      {"/ravlo-noyau.wasm", {"application/wasm", RAVLO_NOYAU_WASM}},
  };
  const std::regex renvoi(R"re((?:src|href)="([^":]+)"|from '\./([^']+)'|fetch\('([^':]+)'\))re");
  std::vector<std::string> aVoir = {"/"};
  std::set<std::string> vus;
  std::size_t total = 0;
  while (!aVoir.empty()) {
    const std::string cible = aVoir.back();
    aVoir.pop_back();
    if (!vus.insert(cible).second) continue;
    const ReponseHttp r = obtenir(cible);
    ASSERT_EQ(r.statut, 200U) << cible << " nommé par la page et pas servi";
    EXPECT_NE(r.type, "application/octet-stream") << cible;
    if (const auto connu = fichiers.find(cible); connu != fichiers.end()) {
      EXPECT_EQ(r.type, connu->second.first) << cible;
      EXPECT_EQ(r.corps, lireFichier(connu->second.second)) << cible;
    }
    total += r.corps.size();
    if (!r.type.starts_with("text/")) continue;
    for (auto m = std::sregex_iterator(r.corps.begin(), r.corps.end(), renvoi);
         m != std::sregex_iterator(); ++m) {
      for (std::size_t i = 1; i < m->size(); ++i) {
        if ((*m)[i].matched) aVoir.push_back("/" + (*m)[i].str());
      }
    }
  }
  for (const auto& [cible, fichier] : fichiers)
    EXPECT_TRUE(vus.contains(cible)) << "la page ne charge pas " << cible;
  EXPECT_LE(total, 1'000'000U);
  RecordProperty("octets_premier_chargement", std::to_string(total));
  EXPECT_EQ(obtenir("/index.html?v=2").corps, lireFichier(source + "/index.html"));
  // Le WebSocket demandé sans passage en WebSocket, et la page servie par un dossier.
  for (const char* cible : {"/absent", "/page/", "/../CMakeLists.txt", "/ravlo"})
    EXPECT_EQ(obtenir(cible).statut, 404U) << cible;
  EXPECT_EQ(obtenir("/", std::string(9000, 'a')).statut, 431U);
  EXPECT_EQ(obtenir("/", std::string(6000, 'a')).statut, 200U);

  const std::string origine = "http://" + hote();
  for (const auto& [o, chemin, attendu] :
       std::vector<std::tuple<std::string, std::string, unsigned>>{
           {origine, "/ravlo", 101},
           {origine, "/autre", 404},
           {"http://exemple.invalid", "/ravlo", 403},
           {"https://" + hote(), "/ravlo", 403},
           {origine + ".exemple.invalid", "/ravlo", 403},
           {"", "/ravlo", 403},
       }) {
    unsigned statut = 0;
    const auto ws = page(o, chemin, &statut);
    EXPECT_EQ(statut, attendu) << o << chemin;
    EXPECT_EQ(ws != nullptr, attendu == 101) << o << chemin;
  }
}

TEST_P(ServeurWebTest, UnDatagrammeFaitLAllerRetourOctetPourOctet) {
  lancer();
  auto ws = pageAnnoncee("Pixel — Chrome");
  ASSERT_TRUE(ws);
  const PageConnectee p = arrivee("Pixel — Chrome");
  EXPECT_EQ(p.langue, "fr-FR");
  EXPECT_EQ(p.point.adresse, GetParam());
  EXPECT_EQ(p.point.port, ws->next_layer().local_endpoint().port());

  auto connexion = serveur_->connexion(p.point, file_);
  std::mutex verrou;
  std::optional<Octets> recu;
  connexion->demarrer();
  connexion->recevoir([&](std::optional<Octets> d, std::optional<ErreurReseau>) {
    std::scoped_lock garde(verrou);
    recu = std::move(d);
  });
  Octets datagramme(1324);
  for (std::size_t i = 0; i < datagramme.size(); ++i) {
    datagramme[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }
  ws->binary(true);
  ws->write(net::buffer(datagramme));
  ASSERT_TRUE(attendreQue([&] {
    std::scoped_lock garde(verrou);
    return recu.has_value();
  }));
  EXPECT_EQ(*recu, datagramme);
  EXPECT_EQ(connexion->etat().cas, EtatConnexion::Cas::prete);

  std::ranges::reverse(datagramme);
  file_.poster([connexion, datagramme] { connexion->envoyerSurLaFile(datagramme); });
  beast::flat_buffer tampon;
  ws->read(tampon);
  EXPECT_TRUE(ws->got_binary());
  const auto* octets = static_cast<const std::uint8_t*>(tampon.cdata().data());
  EXPECT_EQ(Octets(octets, octets + tampon.size()), datagramme);
  // Sans TCP_NODELAY, Nagle retient chaque message derrière l'acquittement retardé du
  // précédent : la page recevait le son par paquets de dizaines de ms.
  EXPECT_EQ(nodelayCoteServeur(ws->next_layer().local_endpoint().port()), 1);

  // Rechargée, la page ferme son WebSocket : la connexion tenue le sait aussitôt, pour de bon.
  ws->close(websocket::close_code::going_away);
  EXPECT_TRUE(attendreQue([&] { return connexion->etat().cas == EtatConnexion::Cas::fermee; }));
}

TEST_P(ServeurWebTest, UnMessageHorsDesReglesRenvoieLaPage) {
  lancer({.delaiAppairage = std::chrono::minutes(10)});
  struct Cas {
    const char* quoi;
    bool bonjour;
    bool texte;
    std::size_t taille;
  };
  const Cas cas[] = {
      {"binaire avant le bonjour", false, false, 10},
      {"texte après le bonjour", true, true, 10},
      {"binaire trop long", true, false, CanalPage::tailleMax + 1},
  };
  int n = 0;
  for (const Cas& c : cas) {
    const std::string nom = "page " + std::to_string(++n);
    auto ws = c.bonjour ? pageAnnoncee(nom) : page("http://" + hote());
    ASSERT_TRUE(ws) << c.quoi;
    ws->text(c.texte);
    ws->write(net::buffer(std::string(c.taille, 'x')));
    EXPECT_TRUE(fermeeSous(*ws, std::chrono::seconds(20))) << c.quoi;
    if (!c.bonjour) continue;
    const PointReseau point = arrivee(nom).point;
    EXPECT_TRUE(attendreQue([&] {
      return releve_.lire([&](Releve& r) { return std::ranges::count(r.departs, point) == 1; });
    })) << c.quoi;
    // Une connexion prise vers elle ensuite naît fermée.
    auto connexion = serveur_->connexion(point, file_);
    connexion->demarrer();
    EXPECT_EQ(connexion->etat().cas, EtatConnexion::Cas::fermee);
  }
}

TEST_P(ServeurWebTest, UnePageNonAppaireeEstRenvoyeeUneGardeeReste) {
  garderALArrivee_ = true;
  lancer({.delaiAppairage = std::chrono::seconds(2)});
  auto gardee = pageAnnoncee("gardée");
  garderALArrivee_ = false;
  auto oubliee = pageAnnoncee("oubliée");
  ASSERT_TRUE(gardee && oubliee);
  const PointReseau pointOubliee = arrivee("oubliée").point;
  // La gardée, arrivée la première, a passé son délai quand l'autre est renvoyée.
  EXPECT_TRUE(fermeeSous(*oubliee, std::chrono::seconds(20)));
  EXPECT_TRUE(attendreQue([&] {
    return releve_.lire([&](Releve& r) { return r.departs == std::vector{pointOubliee}; });
  }));
  auto connexion = serveur_->connexion(arrivee("gardée").point, file_);
  file_.poster([connexion] { connexion->envoyerSurLaFile(Octets{4, 2}); });
  beast::flat_buffer tampon;
  gardee->read(tampon);
  EXPECT_EQ(tampon.size(), 2U);
}

TEST_P(ServeurWebTest, UnClientDeTropOuLentNeTientPasLeServeur) {
  lancer({.connexionsMax = 3, .delaiInactif = std::chrono::minutes(2)});
  std::vector<tcp::socket> tenues;
  for (int i = 0; i < 3; ++i) tenues.push_back(relier());
  tcp::socket deTrop = relier();
  EXPECT_TRUE(fermeeSous(deTrop, std::chrono::seconds(20)));  // bien avant le délai d'inactivité
  EXPECT_FALSE(fermeeSous(tenues[0], std::chrono::milliseconds(0)));
  tenues.pop_back();
  EXPECT_TRUE(attendreQue([&] { return obtenir("/").statut == 200; }));

  // Une requête commencée et jamais finie est coupée au délai.
  lancer({.connexionsMax = 3, .delaiInactif = std::chrono::milliseconds(300)});
  tcp::socket lente = relier();
  net::write(lente, net::buffer(std::string("GET / HTTP/1.1\r\nHost: x\r\n")));
  EXPECT_TRUE(fermeeSous(lente, std::chrono::seconds(20)));
}

}  // namespace
}  // namespace ravlo
