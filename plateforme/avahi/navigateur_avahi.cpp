// SPDX-License-Identifier: MPL-2.0
#include "plateforme/avahi/navigateur_avahi.hpp"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>
#include <avahi-common/timeval.h>

#include <atomic>
#include <map>
#include <string>
#include <tuple>

namespace ravlo {

ErreurReseau erreurAvahi(int code) {
  switch (code) {
    case AVAHI_ERR_ACCESS_DENIED:
      return {DomaineErreurReseau::dnssd, ErreurReseau::dnssdNonAutorise};
    case AVAHI_ERR_NOT_PERMITTED:
      return {DomaineErreurReseau::dnssd, ErreurReseau::dnssdRefusParPolitique};
    case AVAHI_ERR_NO_DAEMON:
      return {DomaineErreurReseau::dnssd, ErreurReseau::dnssdServiceAbsent};
    default:
      return {DomaineErreurReseau::autre, code};
  }
}

namespace {
constexpr unsigned nouvelEssaiRechercheMs = 2000;
}

// Tout ce qui suit `poll` n'est touché que sur le fil d'Avahi, ou quand ce fil est arrêté.
struct NavigateurAvahi::Etat {
  using Cle = std::tuple<AvahiIfIndex, AvahiProtocol, std::string, std::string>;
  // Le résolveur reste vivant après son premier résultat : Avahi y rapporte tout changement
  // (récepteur relancé sur un autre port sans retrait vu). Après un échec, la résolution
  // reprend au bout de `nouvelEssaiRechercheMs`, ou dès la prochaine annonce.
  struct Entree {
    Etat* proprietaire = nullptr;
    AvahiServiceResolver* resolveur = nullptr;
    AvahiTimeout* reprise = nullptr;
    std::optional<PointReseau> point;
    std::vector<std::string> txt;
  };
  using Noeud = std::map<Cle, Entree>::value_type;  // adresse stable tant qu'il est dans la table

  std::string type;
  std::shared_ptr<File> file;
  RappelResultats resultats;
  RappelEtat etat;
  // Partagé avec les tâches postées : faux dès `annuler`, elles ne rappellent plus.
  std::shared_ptr<std::atomic<bool>> vivant = std::make_shared<std::atomic<bool>>(true);

  AvahiThreadedPoll* poll = nullptr;
  AvahiClient* client = nullptr;
  AvahiServiceBrowser* navigateur = nullptr;
  std::map<Cle, Entree> entrees;

  void signalerEtat(EtatNavigateur e) {
    file->poster([vivant = vivant, rappel = etat, e] {
      if (*vivant) rappel(e);
    });
  }

  void publier() {
    // La plus petite interface d'abord (ordre de Cle).
    std::map<std::string, ResultatService> parNom;
    for (const auto& [cle, entree] : entrees)
      if (entree.point)
        parNom.try_emplace(std::get<2>(cle), ResultatService{*entree.point, entree.txt});
    std::vector<ResultatService> liste;
    liste.reserve(parNom.size());
    for (auto& [nom, resultat] : parNom) liste.push_back(std::move(resultat));
    file->poster([vivant = vivant, rappel = resultats, liste = std::move(liste)] {
      if (*vivant) rappel(liste);
    });
  }

  void libererEntree(Entree& entree) {
    if (entree.resolveur != nullptr) avahi_service_resolver_free(entree.resolveur);
    entree.resolveur = nullptr;
    if (entree.reprise != nullptr) {
      const AvahiPoll* api = avahi_threaded_poll_get(poll);
      api->timeout_free(entree.reprise);
    }
    entree.reprise = nullptr;
  }

  // (Re)lance la résolution d'une instance ; un résolveur qui ne se crée pas est réessayé.
  void resoudre(Noeud& noeud) {
    libererEntree(noeud.second);
    const auto& [interface, protocole, nom, domaine] = noeud.first;
    noeud.second.resolveur = avahi_service_resolver_new(
        client, interface, protocole, nom.c_str(), type.c_str(), domaine.c_str(), AVAHI_PROTO_INET,
        static_cast<AvahiLookupFlags>(0), rappelResolveur, this);
    if (noeud.second.resolveur == nullptr) reprendrePlusTard(noeud);
  }

  void reprendrePlusTard(Noeud& noeud) {
    timeval echeance{};
    avahi_elapse_time(&echeance, nouvelEssaiRechercheMs, 0);
    const AvahiPoll* api = avahi_threaded_poll_get(poll);
    noeud.second.reprise = api->timeout_new(api, &echeance, rappelReprise, &noeud);
  }

  // La minuterie est libérée par `resoudre`, comme toute minuterie d'une entrée.
  static void rappelReprise(AvahiTimeout* /*minuterie*/, void* n) {
    auto& noeud = *static_cast<Noeud*>(n);
    noeud.second.proprietaire->resoudre(noeud);
  }

  void oublierNavigation() {
    for (auto& [cle, entree] : entrees) libererEntree(entree);
    entrees.clear();
    if (navigateur != nullptr) avahi_service_browser_free(navigateur);
    navigateur = nullptr;
  }

  void liberer() {
    oublierNavigation();
    if (client != nullptr) avahi_client_free(client);
    client = nullptr;
  }

  void connecter() {
    int erreur = 0;
    client = avahi_client_new(avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL, rappelClient,
                              this, &erreur);
    if (client != nullptr) return;
    // Sans bus système, même NO_FAIL échoue : on attend, et on réessaie.
    signalerEtat({EtatNavigateur::Cas::attente, erreurAvahi(erreur)});
    timeval echeance{};
    avahi_elapse_time(&echeance, nouvelEssaiRechercheMs, 0);
    const AvahiPoll* api = avahi_threaded_poll_get(poll);
    api->timeout_new(api, &echeance, rappelNouvelEssai, this);
  }

  static void rappelNouvelEssai(AvahiTimeout* minuterie, void* moi) {
    auto* e = static_cast<Etat*>(moi);
    const AvahiPoll* api = avahi_threaded_poll_get(e->poll);
    api->timeout_free(minuterie);
    if (e->client == nullptr) e->connecter();
  }

  static void rappelClient(AvahiClient* c, AvahiClientState etatClient, void* moi) {
    auto* e = static_cast<Etat*>(moi);
    switch (etatClient) {
      case AVAHI_CLIENT_S_RUNNING:
        if (e->navigateur == nullptr) {
          e->navigateur = avahi_service_browser_new(
              c, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, e->type.c_str(), nullptr,
              static_cast<AvahiLookupFlags>(0), rappelNavigateur, e);
          if (e->navigateur == nullptr) {
            e->signalerEtat({EtatNavigateur::Cas::echec, erreurAvahi(avahi_client_errno(c))});
            return;
          }
        }
        e->signalerEtat({EtatNavigateur::Cas::pret, std::nullopt});
        break;
      case AVAHI_CLIENT_CONNECTING:
        // Démon absent : ses objets n'existent plus ; on repartira de zéro à son retour.
        e->oublierNavigation();
        e->signalerEtat({EtatNavigateur::Cas::attente, erreurAvahi(AVAHI_ERR_NO_DAEMON)});
        break;
      case AVAHI_CLIENT_FAILURE: {
        const int erreur = avahi_client_errno(c);
        e->oublierNavigation();
        if (erreur == AVAHI_ERR_DISCONNECTED) {
          // Démon ou bus parti : un nouveau client l'attend.
          avahi_client_free(c);
          e->client = nullptr;
          e->signalerEtat({EtatNavigateur::Cas::attente, erreurAvahi(erreur)});
          e->connecter();
        } else {
          e->signalerEtat({EtatNavigateur::Cas::echec, erreurAvahi(erreur)});
        }
        break;
      }
      case AVAHI_CLIENT_S_REGISTERING:
      case AVAHI_CLIENT_S_COLLISION:
        break;
    }
  }

  static void rappelNavigateur(AvahiServiceBrowser* n, AvahiIfIndex interface,
                               AvahiProtocol protocole, AvahiBrowserEvent evenement,
                               const char* nom, const char* /*type*/, const char* domaine,
                               AvahiLookupResultFlags /*drapeaux*/, void* moi) {
    auto* e = static_cast<Etat*>(moi);
    switch (evenement) {
      case AVAHI_BROWSER_NEW: {
        // Chaque annonce relance la résolution, même d'une instance déjà connue.
        auto [it, nouvelle] = e->entrees.try_emplace(Cle{interface, protocole, nom, domaine});
        if (nouvelle) it->second.proprietaire = e;
        e->resoudre(*it);
        return;
      }
      case AVAHI_BROWSER_REMOVE: {
        const auto it = e->entrees.find(Cle{interface, protocole, nom, domaine});
        if (it == e->entrees.end()) return;
        e->libererEntree(it->second);
        const bool visible = it->second.point.has_value();
        e->entrees.erase(it);
        if (visible) e->publier();
        return;
      }
      case AVAHI_BROWSER_ALL_FOR_NOW:
        e->publier();
        return;
      case AVAHI_BROWSER_FAILURE:
        e->signalerEtat({EtatNavigateur::Cas::echec,
                         erreurAvahi(avahi_client_errno(avahi_service_browser_get_client(n)))});
        return;
      case AVAHI_BROWSER_CACHE_EXHAUSTED:
        return;
    }
  }

  static void rappelResolveur(AvahiServiceResolver* r, AvahiIfIndex interface,
                              AvahiProtocol protocole, AvahiResolverEvent evenement,
                              const char* nom, const char* /*type*/, const char* domaine,
                              const char* /*hote*/, const AvahiAddress* adresse, std::uint16_t port,
                              AvahiStringList* txt, AvahiLookupResultFlags /*drapeaux*/,
                              void* moi) {
    auto* e = static_cast<Etat*>(moi);
    const auto it = e->entrees.find(Cle{interface, protocole, nom, domaine});
    if (it == e->entrees.end() || it->second.resolveur != r) return;
    if (evenement != AVAHI_RESOLVER_FOUND || adresse == nullptr) {
      // Échec (délai dépassé…) : le dernier point connu reste, la résolution reprendra.
      e->libererEntree(it->second);
      e->reprendrePlusTard(*it);
      return;
    }
    char texte[AVAHI_ADDRESS_STR_MAX] = {};
    avahi_address_snprint(texte, sizeof texte, adresse);
    PointReseau point{texte, port, std::string(nom), static_cast<int>(interface)};
    std::vector<std::string> chaines;
    for (AvahiStringList* c = txt; c != nullptr; c = avahi_string_list_get_next(c))
      chaines.emplace_back(reinterpret_cast<const char*>(avahi_string_list_get_text(c)),
                           avahi_string_list_get_size(c));
    if (it->second.point == point && it->second.txt == chaines) return;
    it->second.point = std::move(point);
    it->second.txt = std::move(chaines);
    e->publier();
  }
};

NavigateurAvahi::NavigateurAvahi(std::string type, std::shared_ptr<File> file)
    : etat_(std::make_unique<Etat>()) {
  etat_->type = std::move(type);
  etat_->file = std::move(file);
}

NavigateurAvahi::~NavigateurAvahi() {
  annuler();
}

void NavigateurAvahi::demarrer(RappelResultats resultats, RappelEtat etat) {
  if (etat_->poll != nullptr) return;
  etat_->resultats = std::move(resultats);
  etat_->etat = std::move(etat);
  etat_->poll = avahi_threaded_poll_new();
  if (etat_->poll == nullptr) {
    etat_->signalerEtat({EtatNavigateur::Cas::echec, erreurAvahi(AVAHI_ERR_NO_MEMORY)});
    return;
  }
  // Le fil n'existe pas encore : le client se crée sans verrou.
  etat_->connecter();
  if (avahi_threaded_poll_start(etat_->poll) < 0) {
    etat_->liberer();
    avahi_threaded_poll_free(etat_->poll);
    etat_->poll = nullptr;
    etat_->signalerEtat({EtatNavigateur::Cas::echec, erreurAvahi(AVAHI_ERR_FAILURE)});
  }
}

void NavigateurAvahi::annuler() {
  *etat_->vivant = false;
  if (etat_->poll == nullptr) return;
  avahi_threaded_poll_stop(etat_->poll);
  etat_->liberer();
  // Libère aussi une minuterie de nouvel essai encore prévue.
  avahi_threaded_poll_free(etat_->poll);
  etat_->poll = nullptr;
}

}  // namespace ravlo
