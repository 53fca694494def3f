#include "recepteur/service_recepteur.hpp"

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <cmath>
#include <fstream>

#include "link/plateforme/echeance.hpp"
#include "link/plateforme/horloge.hpp"
#include "link/plateforme/signaux_fin.hpp"
#include "link/plateforme/systeme.hpp"
#include "protocol/crypto/hasard_systeme.hpp"
#include "protocol/messages/service_ravlo.hpp"
#include "protocol/textes/textes.hpp"
#include "recepteur/recepteur.hpp"
#include "recepteur/rendu_lecture.hpp"

namespace ravlo {
namespace {

using asio::ip::udp;

template <class... A>
void dire(std::FILE* flux, const std::string& modele, A... valeurs) {
  std::fprintf(flux, modele.c_str(), valeurs...);
  std::fputc('\n', flux);
  std::fflush(flux);
}

}  // namespace

struct ServiceRecepteur::Etat {
  Etat(const OptionsRecepteur& o, std::string locale, Plateforme p)
      : o_(o), locale_(std::move(locale)), p_(std::move(p)) {}

  int executer() {
    const std::error_code e = ecouter();
    if (e) {
      dire(p_.erreurs, texte("Impossible d'écouter sur le port UDP %u : %s."), unsigned{o_.port},
           e.message().c_str());
      return 1;
    }
    if (auto raison = p_.sortie->demarrer(
            [this](std::span<float> bloc, std::optional<InstantNs> h, bool peutAttendre) {
              return rendu_.rendre(bloc, h, peutAttendre);
            })) {
      dire(p_.erreurs, texte("Lecture impossible par PulseAudio : %s."), raison->c_str());
      return 1;
    }
    const std::uint16_t port = socket_.local_endpoint().port();
    dire(p_.messages, texte("Port : %u"), unsigned{port});
    montrerCode();
    annoncer(port);
    recevoir();
    armer(cadence_, std::chrono::milliseconds(200), [this] { cadencer(); });
    armer(suivi_, std::chrono::seconds(1), [this] { suivre(); });
    signaux_.attendre([this](int) { terminer(texte("Interrompu : l'écoute s'arrête."), 0); });
    debutNs_ = hoteNs();
    io_.run();
    std::error_code ignore;
    socket_.close(ignore);
    p_.sortie->arreter();
    if (p_.annonceur) p_.annonceur->retirer();
    const auto c = compteurs(hoteNs());
    if (o_.stats) std::ofstream(*o_.stats) << c.json() << '\n';
    dire(statut_ == 0 ? p_.messages : p_.erreurs, "%s", raison_.c_str());
    if (c.finEnvoyee && c.expediteur) {
      dire(p_.messages, texte("Message de fin envoyé à %s."), c.expediteur->c_str());
    }
    return statut_;
  }

 private:
  std::string texte(std::string_view cle) const { return ravlo::texte(cle, locale_); }

  // Une socket pour IPv6 et IPv4 (adresses IPv4 vues comme ::ffff:a.b.c.d) ; IPv4 seul
  // quand la machine n'a pas d'IPv6.
  std::error_code ecouter() {
    std::error_code e;
    socket_.open(udp::v6(), e);
    if (!e) socket_.set_option(asio::ip::v6_only(false), e);
    if (!e) socket_.bind(udp::endpoint(udp::v6(), o_.port), e);
    if (!e) return e;
    std::error_code ignore;
    socket_.close(ignore);
    e.clear();
    socket_.open(udp::v4(), e);
    if (!e) socket_.bind(udp::endpoint(udp::v4(), o_.port), e);
    return e;
  }

  CompteursRecepteur compteurs(InstantNs maintenant) const {
    auto c = recepteur_.compteurs();
    c.pauseAppairageS = static_cast<double>(recepteur_.pauseAppairageNs(maintenant)) / 1e9;
    return c;
  }

  void montrerCode() {
    codeMontre_ = recepteur_.code().chiffres();
    dire(p_.messages, texte("Code : %s"), codeMontre_.c_str());
  }

  void annoncer(std::uint16_t port) {
    if (!p_.annonceur) {
      dire(p_.messages,
           texte("Pas d'annonce sur le réseau local : l'émetteur passe par --vers HOTE:%u."),
           unsigned{port});
      return;
    }
    p_.annonceur->annoncer(o_.nom.value_or(nomMachine()), std::string(ServiceRavlo::typeBonjour),
                           port, [this, port](const EtatAnnonce& etat) {
                             asio::post(io_, [this, port, etat] { direAnnonce(etat, port); });
                           });
  }

  void direAnnonce(const EtatAnnonce& etat, std::uint16_t port) {
    if (etat.cas == EtatAnnonce::Cas::annoncee) {
      annonceIndisponible_ = false;  // une perte suivante se dira de nouveau
      dire(p_.messages, texte("Annoncé sur le réseau local sous le nom « %s »."), etat.nom.c_str());
    } else if (!annonceIndisponible_) {
      annonceIndisponible_ = true;
      dire(p_.messages,
           texte("Pas d'annonce sur le réseau local (avahi-daemon : %s) : l'émetteur passe par "
                 "--vers HOTE:%u."),
           etat.raison.c_str(), unsigned{port});
    }
  }

  void recevoir() {
    socket_.async_receive_from(
        asio::buffer(tampon_), source_, [this](const std::error_code& e, std::size_t taille) {
          if (e == asio::error::operation_aborted) return;
          if (!e) {
            auto adresse = source_.address();
            if (adresse.is_v6() && adresse.to_v6().is_v4_mapped())
              adresse = asio::ip::make_address_v4(asio::ip::v4_mapped, adresse.to_v6());
            const PointReseau source{adresse.to_string(), source_.port()};
            const auto envois =
                recepteur_.recevoir(VueOctets(tampon_.data(), taille), source, hoteNs());
            // Le code neuf se dit avant que la réponse parte : qui lit la sortie du programme
            // connaît le code courant dès qu'une tentative a fini.
            verifierCode();
            envoyer(envois);
          }
          if (socket_.is_open()) recevoir();
        });
  }

  void envoyer(const std::vector<Envoi>& envois) {
    for (const auto& envoi : envois) {
      std::error_code e;
      auto adresse = asio::ip::make_address(envoi.vers.adresse, e);
      if (e) continue;
      if (adresse.is_v4() && socket_.local_endpoint(e).protocol() == udp::v6())
        adresse = asio::ip::make_address_v6(asio::ip::v4_mapped, adresse.to_v4());
      socket_.send_to(asio::buffer(envoi.donnees), udp::endpoint(adresse, envoi.vers.port), 0, e);
    }
  }

  void verifierCode() {
    const auto epuisement = recepteur_.epuisement();
    if (epuisement == GuichetAppairage::Epuisement::parEchec && !codeEpuiseDit_) {
      const auto raison = texte(
          "Le code fixé par --code a servi à une tentative d'appairage échouée : il ne "
          "sera plus accepté. Relance sans --code pour un code neuf à chaque échec.");
      // Une tentative étrangère (ou rejouée) ne coupe jamais le son d'un émetteur appairé :
      // le programme ne s'arrête que s'il n'a personne à servir.
      if (!recepteur_.appaire()) {
        terminer(raison, 1);
        return;
      }
      codeEpuiseDit_ = true;
      dire(p_.erreurs, "%s", raison.c_str());
    }
    // Après chaque datagramme : rien qui calcule tous les compteurs.
    const auto appairages = recepteur_.appairages();
    const bool appaire = appairages != appairagesVus_;
    if (appaire) {
      appairagesVus_ = appairages;
      dire(p_.messages, texte("Appairé avec %s."),
           recepteur_.compteurs().expediteur.value_or("").c_str());
      if (epuisement == GuichetAppairage::Epuisement::parAppairage && !codeEpuiseDit_) {
        codeEpuiseDit_ = true;
        dire(p_.messages, "%s",
             texte("Le code fixé par --code a servi : il ne sera plus accepté.").c_str());
      }
    }
    if (recepteur_.code().chiffres() != codeMontre_) {
      dire(p_.messages, "%s",
           (appaire ? texte("Ce code a servi : voici celui du prochain appairage.")
                    : texte("Appairage échoué : voici un nouveau code."))
               .c_str());
      montrerCode();
    }
    const InstantNs maintenant = hoteNs();
    const std::uint64_t pause = recepteur_.pauseAppairageNs(maintenant);
    if (pause > 0 && !pauseDite_) {
      dire(p_.messages, texte("Trop de codes faux d'affilée (%d) : appairage suspendu %.0f s."),
           recepteur_.echecsRetenus(maintenant), std::ceil(static_cast<double>(pause) / 1e9));
    }
    pauseDite_ = pause > 0;
  }

  template <class F>
  void armer(asio::steady_timer& minuterie, std::chrono::nanoseconds periode, F tache) {
    minuterie.expires_after(periode);
    relancer(minuterie, periode, std::move(tache));
  }

  template <class F>
  void relancer(asio::steady_timer& minuterie, std::chrono::nanoseconds periode, F tache) {
    minuterie.async_wait([this, &minuterie, periode, tache](const std::error_code& e) {
      if (e) return;
      tache();
      minuterie.expires_at(
          echeanceSuivante(minuterie.expiry(), periode, asio::steady_timer::clock_type::now()));
      relancer(minuterie, periode, tache);
    });
  }

  void cadencer() {
    envoyer(recepteur_.cadencer(hoteNs()));
    rendu_.changerVitesse(recepteur_.vitessePPM());
    verifierCode();
  }

  void suivre() {
    const InstantNs maintenant = hoteNs();
    const auto c = compteurs(maintenant);
    const auto carte = recepteur_.carte(p_.sortie->sonCoupe(), maintenant);
    const double ecoule = static_cast<double>(ecartNs(maintenant, debutNs_)) / 1e9;
    dire(p_.messages,
         texte("%6.1f s  %s  paquets %lld  perdus %lld  tardifs %lld  trous %lld  latence %s ms  "
               "vitesse %+.0f ppm  cible %s ms%s"),
         ecoule, etatLecture(maintenant).c_str(), static_cast<long long>(c.paquetsRecus),
         static_cast<long long>(c.paquetsPerdus), static_cast<long long>(c.paquetsTardifs),
         static_cast<long long>(c.trous), enMs(c.latenceMs).c_str(), c.vitessePPM,
         enMs(c.cibleMs).c_str(), pauseEnCours(c.pauseAppairageS).c_str());
    if (carte) {
      dire(p_.messages, texte("Carte : son coupé %s, en pause %s."),
           (carte->sonCoupe ? texte("oui") : texte("non")).c_str(),
           (carte->enPause ? texte("oui") : texte("non")).c_str());
    }
    if (const auto panne = p_.sortie->panne()) {
      char ligne[512];
      std::snprintf(ligne, sizeof ligne, texte("La lecture s'est arrêtée : %s.").c_str(),
                    panne->c_str());
      terminer(ligne, 1);
      return;
    }
    if (o_.secondes && ecoule >= *o_.secondes)
      terminer(texte("Durée écoulée : l'écoute s'arrête."), 0);
  }

  std::string etatLecture(InstantNs maintenant) const {
    if (!recepteur_.appaire()) return texte("en attente");
    return recepteur_.enPause(maintenant) ? texte("en pause") : texte("en lecture");
  }

  std::string pauseEnCours(double secondes) const {
    if (secondes <= 0) return {};
    char ligne[96];
    std::snprintf(ligne, sizeof ligne, texte("  appairage suspendu %.0f s").c_str(),
                  std::ceil(secondes));
    return ligne;
  }

  static std::string enMs(std::optional<double> ms) {
    if (!ms) return "-";
    char texteMs[32];
    std::snprintf(texteMs, sizeof texteMs, "%.1f", *ms);
    return texteMs;
  }

  void terminer(const std::string& raison, int statut) {
    if (!raison_.empty()) return;
    raison_ = raison;
    statut_ = statut;
    if (auto fin = recepteur_.terminer()) envoyer({*fin});
    // La socket reste ouverte jusqu'à la sortie de `io_.run()` : la réponse du datagramme en
    // cours (le refus qui a épuisé un code fixé) part encore.
    cadence_.cancel();
    suivi_.cancel();
    signaux_.annuler();
    io_.stop();
  }

  const OptionsRecepteur& o_;
  const std::string locale_;
  Plateforme p_;
  asio::io_context io_{1};
  udp::socket socket_{io_};
  udp::endpoint source_;
  std::array<std::uint8_t, 65'536> tampon_{};
  asio::steady_timer cadence_{io_};
  asio::steady_timer suivi_{io_};
  SignauxFin signaux_{io_};
  std::shared_ptr<LectureTiree> lecture_ =
      std::make_shared<LectureTiree>(96'000, Recepteur::amorceDepartTrames);
  RenduLecture rendu_{lecture_, !o_.wav.has_value()};
  Recepteur recepteur_{
      GuichetAppairage::Reglages{o_.code, p_.tirerCode, std::make_shared<HasardSysteme>()},
      lecture_};
  std::string codeMontre_;
  std::int64_t appairagesVus_ = 0;
  bool annonceIndisponible_ = false;
  bool codeEpuiseDit_ = false;
  bool pauseDite_ = false;
  InstantNs debutNs_ = 0;
  std::string raison_;
  int statut_ = 0;
};

ServiceRecepteur::ServiceRecepteur(const OptionsRecepteur& options, std::string locale,
                                   Plateforme plateforme)
    : etat_(std::make_unique<Etat>(options, std::move(locale), std::move(plateforme))) {}

ServiceRecepteur::~ServiceRecepteur() = default;

int ServiceRecepteur::executer() {
  return etat_->executer();
}

}  // namespace ravlo
