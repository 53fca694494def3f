// SPDX-License-Identifier: MPL-2.0
// Le seul fichier du produit qui inclut Beast et Boost.Asio : le reste garde asio seul.
#include "plateforme/web/serveur_web.hpp"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <cctype>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "plateforme/web/bonjour_page.hpp"
#include "plateforme/web/canal_page.hpp"
#include "protocol/base/verrou.hpp"

namespace ravlo {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Requete = http::request<http::empty_body>;

ErreurReseau erreurDe(const boost::system::error_code& code) {
  if (code.category() == boost::system::system_category() ||
      code.category() == boost::system::generic_category()) {
    return {DomaineErreurReseau::posix, code.value()};
  }
  return {DomaineErreurReseau::autre, code.value()};
}

std::string_view typeMime(std::string_view chemin) {
  struct Type {
    std::string_view extension, type;
  };
  static constexpr Type types[] = {{".html", "text/html; charset=utf-8"},
                                   {".js", "text/javascript; charset=utf-8"},
                                   {".mjs", "text/javascript; charset=utf-8"},
                                   {".css", "text/css; charset=utf-8"},
                                   {".wasm", "application/wasm"},
                                   {".svg", "image/svg+xml"},
                                   {".png", "image/png"},
                                   {".json", "application/json"},
                                   {".woff2", "font/woff2"}};
  for (const Type& t : types) {
    if (chemin.ends_with(t.extension)) return t.type;
  }
  return "application/octet-stream";
}

bool egauxSansCasse(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Une page servie ici ouvre son WebSocket avec l'origine même de la page : « http:// » et
// l'hôte tel qu'elle l'a demandé. Une autre origine est une page d'ailleurs qu'un navigateur
// du réseau a chargée : refusée.
bool origineAdmise(const Requete& requete) {
  const std::string_view hote = requete[http::field::host];
  const std::string_view origine = requete[http::field::origin];
  return !hote.empty() && origine.starts_with("http://") && egauxSansCasse(origine.substr(7), hote);
}

std::string_view cheminSeul(std::string_view cible) {
  return cible.substr(0, cible.find('?'));
}

PointReseau pointDe(const tcp::endpoint& e) {
  net::ip::address a = e.address();
  if (a.is_v6() && a.to_v6().is_v4_mapped()) {
    a = net::ip::make_address_v4(net::ip::v4_mapped, a.to_v6());
  }
  return PointReseau{a.to_string(), e.port()};
}

}  // namespace

struct ServeurWeb::Etat {
  struct Page {
    PageConnectee page;
    std::shared_ptr<CanalPage> canal;
    bool gardee = false;
  };

  Etat(std::span<const RessourceWeb> r, ReglagesServeurWeb g)
      : ressources(r), reglages(std::move(g)) {}

  const RessourceWeb* trouver(std::string_view chemin) const {
    if (chemin == "/") chemin = "/index.html";
    for (const RessourceWeb& r : ressources) {
      if (r.chemin == chemin) return &r;
    }
    return nullptr;
  }

  void annoncer(const PointReseau& point, PageConnectee page, std::shared_ptr<CanalPage> canal) {
    Garde garde(verrou);
    if (arrete) return;
    pages[enTexte(point)] = Page{page, std::move(canal)};
    if (file != nullptr) {
      file->poster([a = arrivee, page = std::move(page), actif = actif] {
        if (*actif) a(page);
      });
    }
  }

  void retirer(const PointReseau& point) {
    Garde garde(verrou);
    if (pages.erase(enTexte(point)) == 0 || arrete) return;
    if (file != nullptr) {
      file->poster([d = depart, point, actif = actif] {
        if (*actif) d(point);
      });
    }
  }

  bool gardee(const PointReseau& point) const {
    Garde garde(verrou);
    const auto p = pages.find(enTexte(point));
    return p != pages.end() && p->second.gardee;
  }

  std::span<const RessourceWeb> ressources;
  const ReglagesServeurWeb reglages;
  mutable Verrou verrou;
  std::map<std::string, Page> pages GARDE_PAR(verrou);
  Executeur* file GARDE_PAR(verrou) = nullptr;
  RappelArrivee arrivee GARDE_PAR(verrou);
  RappelDepart depart GARDE_PAR(verrou);
  bool arrete GARDE_PAR(verrou) = false;
  // Faux dès `arreter` : une annonce déjà postée ne commence plus.
  std::shared_ptr<std::atomic<bool>> actif = std::make_shared<std::atomic<bool>>(true);
  // Sur le fil du serveur seulement.
  std::size_t ouvertes = 0;
  // Déclarés après ce que les sessions touchent en mourant : le contexte les détruit avant.
  net::io_context contexte{1};
  tcp::acceptor accepteur{contexte};
  std::optional<net::executor_work_guard<net::io_context::executor_type>> travail;
  std::thread fil;
};

namespace {

using Etat = ServeurWeb::Etat;

/// Compte une connexion ouverte tant qu'il vit ; passe de la session HTTP à la page.
class Jeton {
 public:
  explicit Jeton(Etat& etat) : etat_(&etat) { ++etat_->ouvertes; }
  Jeton(Jeton&& autre) noexcept : etat_(std::exchange(autre.etat_, nullptr)) {}
  Jeton(const Jeton&) = delete;
  Jeton& operator=(const Jeton&) = delete;
  Jeton& operator=(Jeton&&) = delete;
  ~Jeton() {
    if (etat_ != nullptr) --etat_->ouvertes;
  }

 private:
  Etat* etat_;
};

/// Une page reliée : le bonjour, puis des datagrammes dans les deux sens par son canal.
class SessionPage : public std::enable_shared_from_this<SessionPage> {
 public:
  /// `eventfd` : le réveil des écritures, que la session ferme.
  SessionPage(Etat& etat, Jeton jeton, beast::tcp_stream flux, PointReseau point, int eventfd)
      : etat_(etat),
        jeton_(std::move(jeton)),
        ws_(std::move(flux)),
        delai_(ws_.get_executor()),
        reveil_(ws_.get_executor(), eventfd),
        point_(std::move(point)) {
    sortant_.reserve(CanalPage::tailleMax);
  }

  ~SessionPage() {
    if (canal_) {
      canal_->fermer({DomaineErreurReseau::posix, ECONNRESET});
      etat_.retirer(point_);
    }
  }

  SessionPage(const SessionPage&) = delete;
  SessionPage& operator=(const SessionPage&) = delete;

  void accepter(const Requete& requete) {
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout t{};
    t.handshake_timeout = etat_.reglages.delaiInactif;
    t.idle_timeout = etat_.reglages.delaiInactif;
    t.keep_alive_pings = true;
    ws_.set_option(t);
    ws_.read_message_max(std::max(CanalPage::tailleMax, tailleBonjourMax));
    ws_.async_accept(requete, [moi = shared_from_this()](beast::error_code e) {
      if (e) return;
      moi->delai_.expires_after(moi->etat_.reglages.delaiAppairage);
      moi->delai_.async_wait([w = std::weak_ptr(moi)](beast::error_code attente) {
        auto s = w.lock();
        if (!attente && s && !(s->canal_ && s->etat_.gardee(s->point_))) s->renvoyer();
      });
      moi->lire();
    });
  }

 private:
  void lire() {
    ws_.async_read(tampon_, [moi = shared_from_this()](beast::error_code e, std::size_t) {
      if (e) {
        moi->delai_.cancel();
        moi->reveil_.cancel();
        return;
      }
      moi->recu();
    });
  }

  void recu() {
    const auto donnees = tampon_.cdata();
    const VueOctets message(static_cast<const std::uint8_t*>(donnees.data()), donnees.size());
    if (!canal_) {
      const std::string_view texte(static_cast<const char*>(donnees.data()), donnees.size());
      const auto bonjour = ws_.got_text() ? lireBonjourPage(texte)
                                          : std::expected<BonjourPage, ErreurBonjour>(
                                                std::unexpect, ErreurBonjour::enteteInconnue);
      if (!bonjour) return renvoyer();
      // Le réveil écrit dans l'eventfd, sans allocation : le canal le tait avant que la
      // session ne le ferme.
      canal_ = std::make_shared<CanalPage>([fd = reveil_.native_handle()] {
        const std::uint64_t un = 1;
        [[maybe_unused]] const auto n = ::write(fd, &un, sizeof un);
      });
      guetter();
      etat_.annoncer(point_,
                     PageConnectee{bonjour->nom, bonjour->langue, point_, bonjour->identifiant,
                                   bonjour->reprise},
                     canal_);
    } else if (ws_.got_binary()) {
      canal_->livrer(message);
    } else {
      return renvoyer();
    }
    tampon_.clear();
    lire();
  }

  void guetter() {
    reveil_.async_read_some(net::buffer(&sonneries_, sizeof sonneries_),
                            [moi = shared_from_this()](beast::error_code e, std::size_t) {
                              if (e) return;
                              moi->ecrire();
                              moi->guetter();
                            });
  }

  void ecrire() {
    if (ecriture_ || !canal_ || !canal_->prendre(sortant_)) return;
    ecriture_ = true;
    ws_.binary(true);
    ws_.async_write(net::buffer(sortant_),
                    [moi = shared_from_this()](beast::error_code e, std::size_t) {
                      moi->ecriture_ = false;
                      if (!e) moi->ecrire();
                    });
  }

  // Fermeture nette quand la page l'entend ; les délais du flux bornent sa réponse.
  void renvoyer() {
    if (renvoyee_) return;
    renvoyee_ = true;
    // Plus d'écriture ni de délai : la session finit avec la fermeture.
    reveil_.cancel();
    delai_.cancel();
    ws_.async_close(websocket::close_code::policy_error,
                    [moi = shared_from_this()](beast::error_code) {});
  }

  Etat& etat_;
  Jeton jeton_;
  websocket::stream<beast::tcp_stream> ws_;
  net::steady_timer delai_;
  net::posix::stream_descriptor reveil_;
  std::uint64_t sonneries_ = 0;
  PointReseau point_;
  beast::flat_buffer tampon_;
  std::shared_ptr<CanalPage> canal_;
  Octets sortant_;
  bool ecriture_ = false;
  bool renvoyee_ = false;
};

/// Une connexion HTTP : des requêtes GET ou HEAD de ressources, jusqu'au passage en WebSocket.
class SessionHttp : public std::enable_shared_from_this<SessionHttp> {
 public:
  SessionHttp(Etat& etat, Jeton jeton, tcp::socket socket, PointReseau point)
      : etat_(etat),
        jeton_(std::move(jeton)),
        flux_(std::move(socket)),
        tampon_(etat.reglages.enTetesMax),
        point_(std::move(point)) {}

  void lire() {
    auto& analyseur = analyseur_.emplace();
    analyseur.header_limit(static_cast<std::uint32_t>(etat_.reglages.enTetesMax));
    flux_.expires_after(etat_.reglages.delaiInactif);
    http::async_read(flux_, tampon_, analyseur,
                     [moi = shared_from_this()](beast::error_code e, std::size_t) { moi->lue(e); });
  }

 private:
  void lue(beast::error_code e) {
    if (e == http::error::header_limit || e == http::error::buffer_overflow) {
      return repondre(reponseVide(http::status::request_header_fields_too_large), false);
    }
    if (e || !analyseur_) return fermer();
    const Requete& requete = analyseur_->get();
    const std::string_view chemin = cheminSeul(requete.target());
    if (websocket::is_upgrade(requete)) {
      if (chemin != etat_.reglages.cheminSocket) {
        return repondre(reponseVide(http::status::not_found), false);
      }
      if (!origineAdmise(requete)) return repondre(reponseVide(http::status::forbidden), false);
      const int reveil = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
      if (reveil < 0) return repondre(reponseVide(http::status::service_unavailable), false);
      auto page =
          std::make_shared<SessionPage>(etat_, std::move(jeton_), std::move(flux_), point_, reveil);
      page->accepter(requete);
      return;
    }
    const bool garder = requete.keep_alive();
    if (requete.method() != http::verb::get && requete.method() != http::verb::head) {
      return repondre(reponseVide(http::status::method_not_allowed), garder);
    }
    const RessourceWeb* r = etat_.trouver(chemin);
    if (r == nullptr) return repondre(reponseVide(http::status::not_found), garder);
    http::response<http::span_body<const char>> reponse{http::status::ok, 11};
    reponse.set(http::field::content_type, typeMime(r->chemin));
    entetesCommunes(reponse);
    reponse.body() = {reinterpret_cast<const char*>(r->octets.data()), r->octets.size()};
    reponse.prepare_payload();
    if (requete.method() == http::verb::head) reponse.body() = {};
    repondre(http::message_generator(std::move(reponse)), garder);
  }

  template <class Reponse>
  static void entetesCommunes(Reponse& reponse) {
    reponse.set(http::field::cache_control, "no-cache");
    reponse.set("X-Content-Type-Options", "nosniff");
    reponse.set("Referrer-Policy", "no-referrer");
    reponse.set("Content-Security-Policy", "frame-ancestors 'none'");
  }

  static http::message_generator reponseVide(http::status statut) {
    http::response<http::empty_body> reponse{statut, 11};
    entetesCommunes(reponse);
    reponse.content_length(0);
    return reponse;
  }

  void repondre(http::message_generator reponse, bool garder) {
    beast::async_write(flux_, std::move(reponse),
                       [moi = shared_from_this(), garder](beast::error_code e, std::size_t) {
                         if (!e && garder) return moi->lire();
                         moi->fermer();
                       });
  }

  void fermer() {
    beast::error_code ignoree;
    flux_.socket().shutdown(tcp::socket::shutdown_send, ignoree);
    flux_.close();
  }

  Etat& etat_;
  Jeton jeton_;
  beast::tcp_stream flux_;
  beast::flat_buffer tampon_;
  PointReseau point_;
  std::optional<http::request_parser<http::empty_body>> analyseur_;
};

void accueillir(Etat& etat) {
  etat.accepteur.async_accept([&etat](beast::error_code e, tcp::socket socket) {
    if (e == net::error::operation_aborted) return;
    if (!e) {
      beast::error_code ignoree;
      // Un datagramme par message toutes les 6,7 ms : Nagle les grouperait derrière
      // l'acquittement retardé de la page, des dizaines de ms.
      socket.set_option(tcp::no_delay(true), ignoree);
      const tcp::endpoint pair = socket.remote_endpoint(ignoree);
      if (!ignoree && etat.ouvertes < etat.reglages.connexionsMax) {
        std::make_shared<SessionHttp>(etat, Jeton(etat), std::move(socket), pointDe(pair))->lire();
      }
      // Au-delà de la borne, la socket se ferme ici, en sortant de portée.
    }
    accueillir(etat);
  });
}

}  // namespace

ServeurWeb::ServeurWeb(std::span<const RessourceWeb> ressources, ReglagesServeurWeb reglages)
    : etat_(std::make_unique<Etat>(ressources, std::move(reglages))) {}

ServeurWeb::~ServeurWeb() {
  arreter();
}

std::expected<std::uint16_t, ErreurReseau> ServeurWeb::ecouter(std::uint16_t port) {
  if (etat_->accepteur.is_open())
    return std::unexpected(ErreurReseau{DomaineErreurReseau::posix, EALREADY});
  beast::error_code e;
  auto ouvrir = [&](const tcp::endpoint& point, bool v6) {
    e = {};
    etat_->accepteur.open(point.protocol(), e);
    if (!e && v6) etat_->accepteur.set_option(net::ip::v6_only(false), e);
    if (!e) etat_->accepteur.set_option(tcp::acceptor::reuse_address(true), e);
    if (!e) etat_->accepteur.bind(point, e);
    if (!e) etat_->accepteur.listen(net::socket_base::max_listen_connections, e);
    if (e && etat_->accepteur.is_open()) {
      beast::error_code ignoree;
      etat_->accepteur.close(ignoree);
    }
  };
  // Une seule socket pour les deux familles ; sans IPv6 sur la machine, IPv4 seul.
  ouvrir(tcp::endpoint(tcp::v6(), port), true);
  if (e) ouvrir(tcp::endpoint(tcp::v4(), port), false);
  if (e) return std::unexpected(erreurDe(e));
  const std::uint16_t lie = etat_->accepteur.local_endpoint(e).port();
  etat_->travail.emplace(etat_->contexte.get_executor());
  accueillir(*etat_);
  etat_->fil = std::thread([this] { etat_->contexte.run(); });
  return lie;
}

void ServeurWeb::demarrer(Executeur& file, RappelArrivee arrivee, RappelDepart depart) {
  Garde garde(etat_->verrou);
  etat_->file = &file;
  etat_->arrivee = std::move(arrivee);
  etat_->depart = std::move(depart);
}

std::shared_ptr<ConnexionDatagramme> ServeurWeb::connexion(const PointReseau& point, File& file) {
  std::shared_ptr<CanalPage> canal;
  {
    Garde garde(etat_->verrou);
    const auto p = etat_->pages.find(enTexte(point));
    if (p != etat_->pages.end()) canal = p->second.canal;
  }
  if (!canal) {
    canal = std::make_shared<CanalPage>(nullptr);
    canal->fermer({DomaineErreurReseau::posix, ECONNRESET});
  }
  return canal->vue(file);
}

void ServeurWeb::garder(const PointReseau& point) {
  Garde garde(etat_->verrou);
  const auto p = etat_->pages.find(enTexte(point));
  if (p != etat_->pages.end()) p->second.gardee = true;
}

void ServeurWeb::arreter() {
  std::vector<std::shared_ptr<CanalPage>> canaux;
  {
    Garde garde(etat_->verrou);
    if (etat_->arrete) return;
    etat_->arrete = true;
    *etat_->actif = false;
    for (auto& [cle, page] : etat_->pages) canaux.push_back(page.canal);
  }
  // Plus aucun envoi d'une voie ne réveille le fil une fois le canal fermé.
  for (auto& c : canaux) c->fermer({DomaineErreurReseau::posix, ECANCELED});
  etat_->contexte.stop();
  if (etat_->fil.joinable()) etat_->fil.join();
}

}  // namespace ravlo
