// SPDX-License-Identifier: MPL-2.0
#include "programmes/recepteur/service_recepteur.hpp"

#include <unistd.h>

#include <cmath>
#include <fstream>
#include <system_error>
#include <thread>
#include <utility>

#include "plateforme/horloge.hpp"
#include "plateforme/principal_asio.hpp"
#include "plateforme/signaux_fin.hpp"
#include "plateforme/socket_udp.hpp"
#include "plateforme/systeme.hpp"
#include "programmes/recepteur/carnet_fichier.hpp"
#include "programmes/recepteur/code_courant.hpp"
#include "programmes/recepteur/etat_recepteur.hpp"
#include "protocol/crypto/hasard_systeme.hpp"
#include "protocol/messages/service_ravlo.hpp"
#include "protocol/supervision/attente_reprise.hpp"
#include "protocol/textes/textes.hpp"
#include "recepteur/recepteur.hpp"
#include "recepteur/rendu_lecture.hpp"
#include "recepteur/voix_en_flux.hpp"
#include "recepteur/voix_melee.hpp"

namespace ravlo {
namespace {

template <class... A>
void dire(std::FILE* flux, const std::string& modele, A... valeurs) {
  std::fprintf(flux, modele.c_str(), valeurs...);
  std::fputc('\n', flux);
  std::fflush(flux);
}

}  // namespace

struct ServiceRecepteur::Etat {
  // De quoi tenir une rafale : le noyau compte chaque datagramme à 1 à 2,3 Kio (le son,
  // 150 par seconde, pèse 0,35 Mio par seconde) ; 4 Mio tiennent 200 ms d'un flot de
  // 20 000 datagrammes étrangers par seconde et le son d'une seconde. Le noyau double ce qu'il
  // accorde pour sa comptabilité, et le plafonne sans privilège à net.core.rmem_max.
  static constexpr std::size_t tamponReceptionVise = 4u << 20;

  Etat(const OptionsRecepteur& o, std::string locale, Plateforme p)
      : o_(o), locale_(std::move(locale)), p_(std::move(p)) {}

  int executer() {
    const auto ecoute = socket_->ecouter(o_.port);
    if (!ecoute) {
      const ErreurReseau& e = ecoute.error();
      const std::string raison = e.domaine == DomaineErreurReseau::posix
                                     ? std::generic_category().message(static_cast<int>(e.code))
                                     : std::to_string(e.code);
      dire(p_.erreurs, texte("Impossible d'écouter sur le port UDP %u : %s."), unsigned{o_.port},
           raison.c_str());
      return 1;
    }
    if (auto raison = demarrerSortie()) {
      dire(p_.erreurs, texte("Lecture impossible : %s."),
           texteErreurSortie(*raison, locale_).c_str());
      return 1;
    }
    const std::uint16_t port = *ecoute;
    tamponReception_ = socket_->dimensionnerReception(tamponReceptionVise);
    dire(p_.messages, texte("Port : %u"), unsigned{port});
    montrerCode();
    recepteur_.permettreCodeParle(o_.codeParle && p_.synthese != nullptr);
    preparerEtat();
    annoncer(port);
    if (p_.avis) {
      if (const auto periode = p_.avis->periodeVivant()) {
        // Sur le fil principal : une boucle bloquée ne nourrit plus le chien de garde.
        vivant_ = principal_.repeter(*periode, *periode / 10, [this] { p_.avis->vivant(); });
      }
    }
    socket_->recevoir([this](std::span<const DatagrammeRecu> lot) {
      // Le lot est arrivé avant sa lecture : une heure pour tous.
      const InstantNs maintenant = hoteNs();
      recepteur_.noterParole(voixEnCours_);
      for (const auto& d : lot) {
        if (!raison_.empty()) return;  // fini par un datagramme précédent du lot
        const auto envois = recepteur_.recevoir(d.octets, *d.source, maintenant);
        // Le code neuf se dit avant que la réponse parte : qui lit la sortie du programme
        // connaît le code courant dès qu'une tentative a fini.
        verifierCode();
        envoyer(envois);
        if (recepteur_.prendreCodeADire()) direCode();
      }
    });
    cadence_ = repeterApres(std::chrono::milliseconds(200), [this] { cadencer(); });
    suivi_ = repeterApres(std::chrono::seconds(1), [this] { suivre(); });
    signaux_.attendre([this](int) { terminer(texte("Interrompu : l'écoute s'arrête."), 0); });
    debutNs_ = hoteNs();
    principal_.executer();
    cadence_.reset();
    suivi_.reset();
    vivant_.reset();
    socket_->fermer();
    p_.sortie->arreter();
    if (p_.annonceur) p_.annonceur->retirer();
    if (!p_.etat.empty()) CodeCourant::effacer(p_.etat);
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

  // Le rendu tire la file sur le fil de la sortie ; l'échec retenu pour les statistiques.
  std::optional<ErreurSortie> demarrerSortie() {
    auto echec = p_.sortie->demarrer(
        [this](std::span<float> bloc, std::optional<InstantNs> h, bool peutAttendre) {
          if (!rendu_.rendre(bloc, h, peutAttendre)) return false;
          voix_.meler(bloc);
          return true;
        });
    if (echec) erreurSortie_ = echec->brut;
    return echec;
  }

  // Le serveur de son ou le périphérique est parti : la sortie se rouvre quand il revient
  // (`AttenteReprise`), et d'ici là tout le reste continue, réponses d'horloge comprises :
  // l'émetteur voit un récepteur qui ne joue plus, pas un récepteur parti, et garde son
  // appairage.
  void perdreSortie(const ErreurSortie& panne) {
    p_.sortie->arreter();
    sortieAbsente_ = true;
    dire(p_.erreurs,
         texte("La lecture s'est arrêtée : %s. Elle reprendra quand la sortie de son "
               "répondra."),
         texteErreurSortie(panne, locale_).c_str());
    attenteSortie_.reussie();
    attenteSortie_.essaye(hoteNs());
    planifierReprise();
  }

  void planifierReprise() {
    const auto reste = std::chrono::nanoseconds(attenteSortie_.resteNs(hoteNs()));
    principal_.posterApres(reste, [this] { reprendreSortie(); });
  }

  void reprendreSortie() {
    if (!raison_.empty() || !sortieAbsente_) return;
    if (const auto echec = demarrerSortie()) {
      if (!echec->reprenable()) {
        terminerSurPanne(*echec);
        return;
      }
      attenteSortie_.essaye(hoteNs());
      planifierReprise();
      return;
    }
    sortieAbsente_ = false;
    ++reprisesSortie_;
    dire(p_.messages, "%s",
         texte("La lecture reprend : la sortie de son répond de nouveau.").c_str());
  }

  void terminerSurPanne(const ErreurSortie& panne) {
    char ligne[512];
    std::snprintf(ligne, sizeof ligne, texte("La lecture s'est arrêtée : %s.").c_str(),
                  texteErreurSortie(panne, locale_).c_str());
    terminer(ligne, 1);
  }

  CompteursRecepteur compteurs(InstantNs maintenant) const {
    auto c = recepteur_.compteurs();
    c.reprisesSortie = reprisesSortie_;
    c.erreurSortie = erreurSortie_;
    c.pauseAppairageS = static_cast<double>(recepteur_.pauseAppairageNs(maintenant)) / 1e9;
    c.sousAlimentationsSortie = p_.sortie->sousAlimentations();
    if (const auto us = p_.sortie->latenceDemandeeUs()) {
      c.latenceSortieMs = static_cast<double>(*us) / 1000.0;
    }
    const auto tropLongs = static_cast<std::int64_t>(socket_->tropLongs());
    c.enveloppesRefusees += tropLongs;
    c.datagrammesEcartes += tropLongs;
    if (tamponReception_ > 0) c.tamponReceptionOctets = static_cast<std::int64_t>(tamponReception_);
    return c;
  }

  // Le fichier d'abord : qui a lu la ligne trouve le même code par `--code`.
  void montrerCode() {
    codeMontre_ = recepteur_.code().chiffres();
    if (!p_.etat.empty()) {
      if (const auto refus = CodeCourant::ecrire(p_.etat, codeMontre_, static_cast<long>(getpid())))
        dire(p_.erreurs, texte("Le code ne s'écrit pas dans le dossier d'état : %s."),
             refus->c_str());
    }
    dire(p_.messages, texte("Code : %s"), codeMontre_.c_str());
  }

  // Une fois, quand l'écoute et l'annonce sont en place ; une annonce impossible n'empêche
  // pas d'être prêt : l'émetteur passe alors par l'adresse.
  void signalerPret() {
    if (pretSignale_ || !p_.avis) return;
    pretSignale_ = true;
    p_.avis->pret();
    publierEtat(hoteNs());
  }

  // Un code fixé consommé ne se donne plus : `ravlo-recepteur --code` ne le montre plus.
  void oublierCodeEcrit() {
    if (!p_.etat.empty()) CodeCourant::effacer(p_.etat);
  }

  // Sans identifiant gardé, le récepteur marche encore : il redemande le code à chaque fois.
  void preparerEtat() {
    if (p_.etat.empty()) return;
    auto id = identifiantRecepteur(p_.etat, *hasard_);
    if (!id) {
      dire(p_.erreurs,
           texte("Les appairages ne seront pas mémorisés (dossier d'état « %s ») : %s."),
           p_.etat.c_str(), id.error().c_str());
      return;
    }
    identifiant_ = *id;
  }

  // L'identifiant et la reprise ne s'annoncent que si le récepteur peut s'en souvenir.
  std::vector<std::string> entreesTxt() const {
    if (!identifiant_) return {};
    return {std::string(ServiceRavlo::cleIdentifiant) + "=" +
                ServiceRavlo::enHexadecimal(*identifiant_),
            std::string(ServiceRavlo::cleReprise) + "=1"};
  }

  void annoncer(std::uint16_t port) {
    if (!p_.annonceur) {
      dire(p_.messages,
           texte("Pas d'annonce sur le réseau local : l'émetteur passe par --vers HOTE:%u."),
           unsigned{port});
      signalerPret();
      return;
    }
    p_.annonceur->annoncer(o_.nom.value_or(nomMachine()), std::string(ServiceRavlo::typeService),
                           port, entreesTxt(), [this, port](const EtatAnnonce& etat) {
                             principal_.poster([this, port, etat] { direAnnonce(etat, port); });
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
    signalerPret();
  }

  void envoyer(const std::vector<Envoi>& envois) {
    for (const auto& envoi : envois) socket_->envoyer(envoi.donnees, envoi.vers);
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
      oublierCodeEcrit();
      dire(p_.erreurs, "%s", raison.c_str());
    }
    // Après chaque datagramme : rien qui calcule tous les compteurs.
    const auto appairages = recepteur_.appairages();
    const bool appaire = appairages != appairagesVus_;
    if (appaire) {
      appairagesVus_ = appairages;
      const bool repris = recepteur_.reprises() != reprisesVues_;
      reprisesVues_ = recepteur_.reprises();
      const std::string adresse = recepteur_.compteurs().expediteur.value_or("");
      if (recepteur_.nomOrdinateur().empty()) {
        dire(p_.messages, repris ? texte("Repris sans code avec %s.") : texte("Appairé avec %s."),
             adresse.c_str());
      } else {
        dire(p_.messages,
             repris ? texte("Repris sans code avec %s (%s).") : texte("Appairé avec %s (%s)."),
             recepteur_.nomOrdinateur().c_str(), adresse.c_str());
      }
      if (epuisement == GuichetAppairage::Epuisement::parAppairage && !codeEpuiseDit_) {
        codeEpuiseDit_ = true;
        oublierCodeEcrit();
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

  // Le premier tir d'une minuterie répétée part tout de suite ; celui-ci attend une période.
  std::unique_ptr<Minuterie> repeterApres(std::chrono::nanoseconds periode, Tache tache) {
    return principal_.repeter(periode, periode / 10,
                              [premier = true, tache = std::move(tache)]() mutable {
                                if (!std::exchange(premier, false)) tache();
                              });
  }

  // La synthèse prend des dizaines de ms : sur un fil à elle, pour que datagrammes et tics
  // passent pendant ce temps ; la voix prête revient sur ce fil, qui la confie au rendu.
  void direCode() {
    if (filVoix_.joinable()) filVoix_.join();  // fini : sa voix est déjà revenue
    voixEnCours_ = true;
    std::string chiffres;
    for (const char c : recepteur_.code().chiffres()) {
      if (!chiffres.empty()) chiffres += ", ";
      chiffres += c;
    }
    std::string phrase = texte("Code : %s");
    if (const auto ou = phrase.find("%s"); ou != std::string::npos) phrase.replace(ou, 2, chiffres);
    const std::string langue = locale_.starts_with("en") ? "en" : "fr";
    filVoix_ = std::jthread([this, phrase, langue] {
      auto voix = std::make_shared<std::expected<VoixSynthetisee, std::string>>(
          p_.synthese->synthetiser(phrase, langue));
      principal_.poster([this, voix] { recevoirVoix(std::move(*voix)); });
    });
  }

  void recevoirVoix(std::expected<VoixSynthetisee, std::string> voix) {
    if (voix) {
      auto prete = std::make_unique<VoixPrete>();
      prete->entrelace = voixEnFlux(voix->echantillons, voix->frequence);
      if (voix_.confier(std::move(prete))) {
        dire(p_.messages, "%s", texte("Le code se dit à voix haute.").c_str());
        return;
      }
    } else {
      dire(p_.erreurs, texte("Le code ne peut pas se dire à voix haute : %s."),
           voix.error().c_str());
    }
    voixEnCours_ = false;
  }

  void cadencer() {
    if (voix_.recuperer() > 0) voixEnCours_ = false;
    envoyer(recepteur_.cadencer(hoteNs()));
    rendu_.changerVitesse(recepteur_.vitessePPM());
    verifierCode();
  }

  void suivre() {
    const InstantNs maintenant = hoteNs();
    const auto c = compteurs(maintenant);
    const auto carte = recepteur_.carte(p_.sortie->sonCoupe(), maintenant);
    const double ecoule = static_cast<double>(ecartNs(maintenant, debutNs_)) / 1e9;
    if (pretSignale_) publierEtat(maintenant, c);
    if (!o_.ligneEtat) {
      direChangement(phase(maintenant), c);
    } else {
      dire(p_.messages,
           texte("%6.1f s  %s  paquets %lld  perdus %lld  tardifs %lld  trous %lld  latence %s ms  "
                 "vitesse %+.0f ppm  cible %s ms%s"),
           ecoule, etatLecture(maintenant).c_str(), static_cast<long long>(c.paquetsRecus),
           static_cast<long long>(c.paquetsPerdus), static_cast<long long>(c.paquetsTardifs),
           static_cast<long long>(c.trous), enMs(c.latenceMs).c_str(), c.vitessePPM,
           enMs(c.cibleMs).c_str(), pauseEnCours(c.pauseAppairageS).c_str());
    }
    if (carte && o_.ligneEtat) {
      dire(p_.messages, texte("Carte : son coupé %s, en pause %s."),
           (carte->sonCoupe ? texte("oui") : texte("non")).c_str(),
           (carte->enPause ? texte("oui") : texte("non")).c_str());
    }
    if (const auto panne = sortieAbsente_ ? std::nullopt : p_.sortie->panne()) {
      erreurSortie_ = panne->brut;
      if (!panne->reprenable()) {
        terminerSurPanne(*panne);
        return;
      }
      perdreSortie(*panne);
    }
    if (o_.secondes && ecoule >= *o_.secondes)
      terminer(texte("Durée écoulée : l'écoute s'arrête."), 0);
  }

  enum class Phase : std::uint8_t { attente, lecture, pause, sansServeur };

  Phase phase(InstantNs maintenant) const {
    if (sortieAbsente_) return Phase::sansServeur;
    if (!recepteur_.appaire()) return Phase::attente;
    return recepteur_.enPause(maintenant) ? Phase::pause : Phase::lecture;
  }

  std::string etatLecture(InstantNs maintenant) const {
    switch (phase(maintenant)) {
      case Phase::sansServeur:
        return texte("sans sortie de son");
      case Phase::attente:
        return texte("en attente");
      case Phase::pause:
        return texte("en pause");
      case Phase::lecture:
        break;
    }
    return texte("en lecture");
  }

  // Son nom s'il en a donné un, sinon son adresse.
  std::string quiJoue(const CompteursRecepteur& c) const {
    if (!recepteur_.nomOrdinateur().empty()) return recepteur_.nomOrdinateur();
    return c.expediteur.value_or("?");
  }

  // Sans ligne d'état (un journal), l'arrivée et le départ d'un ordinateur se disent une
  // fois ; la perte du serveur de son a déjà sa phrase.
  void direChangement(Phase maintenant, const CompteursRecepteur& c) {
    if (maintenant == phaseDite_) return;
    const Phase avant = std::exchange(phaseDite_, maintenant);
    const std::string qui = quiJoue(c);
    if (maintenant == Phase::lecture) {
      dire(p_.messages, texte("Joue le son de %s."), qui.c_str());
    } else if (maintenant == Phase::pause) {
      dire(p_.messages, texte("%s s'est mis en pause."), qui.c_str());
    } else if (maintenant == Phase::attente && avant != Phase::sansServeur) {
      dire(p_.messages, "%s", texte("Plus aucun ordinateur ne joue : en attente.").c_str());
    }
  }

  // L'état d'une ligne que montre le gestionnaire de services ; envoyé quand il change, au
  // plus une fois par seconde (le suivi).
  void publierEtat(InstantNs maintenant) { publierEtat(maintenant, compteurs(maintenant)); }

  void publierEtat(InstantNs maintenant, const CompteursRecepteur& c) {
    if (!p_.avis) return;
    const std::string qui = quiJoue(c);
    char ligne[256];
    switch (phase(maintenant)) {
      case Phase::sansServeur:
        std::snprintf(ligne, sizeof ligne, "%s", texte("Attend la sortie de son").c_str());
        break;
      case Phase::attente:
        std::snprintf(ligne, sizeof ligne, "%s",
                      texte("Attend un ordinateur — code affiché").c_str());
        break;
      case Phase::pause:
        std::snprintf(ligne, sizeof ligne, texte("En pause : %s").c_str(), qui.c_str());
        break;
      case Phase::lecture:
        if (c.latenceMs) {
          std::snprintf(ligne, sizeof ligne, texte("Joue %s, %.0f ms").c_str(), qui.c_str(),
                        *c.latenceMs);
        } else {
          std::snprintf(ligne, sizeof ligne, texte("Joue %s").c_str(), qui.c_str());
        }
        break;
    }
    if (ligne == etatPublie_) return;
    etatPublie_ = ligne;
    p_.avis->etat(etatPublie_);
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
    // La socket reste ouverte jusqu'à la sortie de `executer()` : la réponse du datagramme
    // en cours (le refus qui a épuisé un code fixé) part encore.
    if (p_.avis) p_.avis->arret();
    if (cadence_) cadence_->annuler();
    if (suivi_) suivi_->annuler();
    if (vivant_) vivant_->annuler();
    signaux_.annuler();
    principal_.arreter();
  }

  const OptionsRecepteur& o_;
  const std::string locale_;
  Plateforme p_;
  PrincipalAsio principal_;
  std::unique_ptr<SocketDatagramme> socket_ =
      p_.socket ? p_.socket(principal_) : std::make_unique<SocketUDP>(principal_);
  std::size_t tamponReception_ = 0;
  std::unique_ptr<Minuterie> cadence_;
  std::unique_ptr<Minuterie> suivi_;
  std::unique_ptr<Minuterie> vivant_;
  bool pretSignale_ = false;
  std::string etatPublie_;
  Phase phaseDite_ = Phase::attente;
  SignauxFin signaux_{principal_};
  // Un fichier n'a pas d'horloge à tenir : rien ne s'y saute.
  std::shared_ptr<FileLecture> lecture_ =
      std::make_shared<FileLecture>(PiloteFile::amorceDepartTrames, !o_.wav.has_value());
  RenduLecture rendu_{lecture_, !o_.wav.has_value()};
  VoixMelee voix_;
  bool voixEnCours_ = false;  ///< de la demande retenue au retour de la voix jouée
  std::shared_ptr<SourceDeHasard> hasard_ = std::make_shared<HasardSysteme>();
  std::shared_ptr<MemoireExpediteurs> memoire_ =
      p_.etat.empty() ? nullptr
                      : std::make_shared<CarnetFichier>(p_.etat, [this](const std::string& raison) {
                          dire(p_.erreurs, texte("Mémoire des appairages : %s."), raison.c_str());
                        });
  Recepteur recepteur_{GuichetAppairage::Reglages{o_.code, p_.tirerCode, hasard_, memoire_},
                       lecture_};
  std::optional<IdentifiantRecepteur> identifiant_;
  std::string codeMontre_;
  std::int64_t appairagesVus_ = 0;
  std::int64_t reprisesVues_ = 0;
  bool annonceIndisponible_ = false;
  bool codeEpuiseDit_ = false;
  bool pauseDite_ = false;
  InstantNs debutNs_ = 0;
  bool sortieAbsente_ = false;
  AttenteReprise attenteSortie_;
  std::int64_t reprisesSortie_ = 0;
  std::optional<std::string> erreurSortie_;
  std::string raison_;
  int statut_ = 0;
  // Le dernier membre : joint avant que rien de ce qu'il touche ne disparaisse.
  std::jthread filVoix_;
};

ServiceRecepteur::ServiceRecepteur(const OptionsRecepteur& options, std::string locale,
                                   Plateforme plateforme)
    : etat_(std::make_unique<Etat>(options, std::move(locale), std::move(plateforme))) {}

ServiceRecepteur::~ServiceRecepteur() = default;

int ServiceRecepteur::executer() {
  return etat_->executer();
}

}  // namespace ravlo
