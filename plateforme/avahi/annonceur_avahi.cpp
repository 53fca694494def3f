// SPDX-License-Identifier: MPL-2.0
#include "plateforme/avahi/annonceur_avahi.hpp"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>
#include <avahi-common/timeval.h>

namespace ravlo {
namespace {
constexpr unsigned nouvelEssaiAnnonceMs = 2000;
}

// Touché sur le fil d'Avahi seulement, ou quand ce fil est arrêté.
struct AnnonceurAvahi::Etat {
  std::string nom;
  std::string type;
  std::uint16_t port = 0;
  std::vector<std::string> txt;
  RappelEtat rappel;
  AvahiThreadedPoll* poll = nullptr;
  AvahiClient* client = nullptr;
  AvahiEntryGroup* groupe = nullptr;
  AvahiTimeout* reprise = nullptr;
  bool ditIndisponible = false;

  void signaler(EtatAnnonce::Cas cas, std::string raison = {}) {
    ditIndisponible = cas == EtatAnnonce::Cas::indisponible;
    if (rappel) rappel(EtatAnnonce{cas, nom, std::move(raison)});
  }

  // Une perte se dit une fois : l'échec du client, puis son attente du démon, n'en font qu'une.
  void indisponible(int erreur) {
    if (!ditIndisponible) signaler(EtatAnnonce::Cas::indisponible, avahi_strerror(erreur));
  }

  void publier(AvahiClient* c) {
    if (groupe == nullptr) groupe = avahi_entry_group_new(c, &Etat::rappelGroupe, this);
    if (groupe == nullptr) return indisponible(avahi_client_errno(c));
    avahi_entry_group_reset(groupe);
    AvahiStringList* entrees = nullptr;
    for (auto e = txt.rbegin(); e != txt.rend(); ++e)  // la liste se construit par la tête
      entrees = avahi_string_list_add(entrees, e->c_str());
    const int erreur = avahi_entry_group_add_service_strlst(
        groupe, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0), nom.c_str(),
        type.c_str(), nullptr, nullptr, port, entrees);
    avahi_string_list_free(entrees);
    if (erreur == AVAHI_ERR_COLLISION) return renommer(c);
    if (erreur < 0 || avahi_entry_group_commit(groupe) < 0) indisponible(avahi_client_errno(c));
  }

  void renommer(AvahiClient* c) {
    char* autre = avahi_alternative_service_name(nom.c_str());
    nom = autre;
    avahi_free(autre);
    publier(c);
  }

  // Le groupe d'un démon parti n'existe plus chez le suivant : on en refera un.
  void oublierGroupe() {
    if (groupe != nullptr) avahi_entry_group_free(groupe);
    groupe = nullptr;
  }

  // Avec AVAHI_CLIENT_NO_FAIL, un démon absent n'est pas un échec : le client l'attend.
  void connecter() {
    int erreur = 0;
    client = avahi_client_new(avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL,
                              &Etat::rappelClient, this, &erreur);
    if (client != nullptr) return;
    // Sans bus système, même NO_FAIL échoue : nouvel essai plus tard.
    indisponible(erreur);
    reprendre(nouvelEssaiAnnonceMs);
  }

  // Le client ne se libère pas dans son propre rappel : la minuterie le remplace ensuite.
  void reprendre(unsigned delaiMs) {
    if (reprise != nullptr) return;
    timeval echeance{};
    avahi_elapse_time(&echeance, delaiMs, 0);
    const AvahiPoll* api = avahi_threaded_poll_get(poll);
    reprise = api->timeout_new(api, &echeance, &Etat::rappelReprise, this);
  }

  static void rappelReprise(AvahiTimeout* minuterie, void* moi) {
    auto* soi = static_cast<Etat*>(moi);
    const AvahiPoll* api = avahi_threaded_poll_get(soi->poll);
    api->timeout_free(minuterie);
    soi->reprise = nullptr;
    soi->oublierGroupe();
    if (soi->client != nullptr) avahi_client_free(soi->client);
    soi->client = nullptr;
    soi->connecter();
  }

  static void rappelGroupe(AvahiEntryGroup* g, AvahiEntryGroupState etat, void* moi) {
    auto* soi = static_cast<Etat*>(moi);
    soi->groupe = g;
    switch (etat) {
      case AVAHI_ENTRY_GROUP_ESTABLISHED:
        soi->signaler(EtatAnnonce::Cas::annoncee);
        break;
      case AVAHI_ENTRY_GROUP_COLLISION:
        soi->renommer(avahi_entry_group_get_client(g));
        break;
      case AVAHI_ENTRY_GROUP_FAILURE:
        soi->indisponible(avahi_client_errno(avahi_entry_group_get_client(g)));
        break;
      default:
        break;
    }
  }

  static void rappelClient(AvahiClient* c, AvahiClientState etat, void* moi) {
    auto* soi = static_cast<Etat*>(moi);
    switch (etat) {
      case AVAHI_CLIENT_S_RUNNING:
        soi->publier(c);
        break;
      case AVAHI_CLIENT_S_COLLISION:
      case AVAHI_CLIENT_S_REGISTERING:
        if (soi->groupe != nullptr) avahi_entry_group_reset(soi->groupe);
        break;
      case AVAHI_CLIENT_CONNECTING:
        soi->oublierGroupe();
        soi->indisponible(AVAHI_ERR_NO_DAEMON);
        break;
      case AVAHI_CLIENT_FAILURE: {
        // Démon parti (ou bus perdu) : même avec NO_FAIL, ce client est fini ; un nouveau
        // attendra le retour du démon.
        const int erreur = avahi_client_errno(c);
        soi->oublierGroupe();
        soi->indisponible(erreur);
        soi->reprendre(erreur == AVAHI_ERR_DISCONNECTED ? 0 : nouvelEssaiAnnonceMs);
        break;
      }
    }
  }
};

AnnonceurAvahi::AnnonceurAvahi() : etat_(std::make_unique<Etat>()) {}

AnnonceurAvahi::~AnnonceurAvahi() {
  retirer();
}

void AnnonceurAvahi::annoncer(const std::string& nom, const std::string& type, std::uint16_t port,
                              const std::vector<std::string>& txt, RappelEtat etat) {
  retirer();
  etat_->nom = nom;
  etat_->type = type;
  etat_->port = port;
  etat_->txt = txt;
  etat_->rappel = std::move(etat);
  etat_->ditIndisponible = false;
  etat_->poll = avahi_threaded_poll_new();
  if (etat_->poll == nullptr) return etat_->indisponible(AVAHI_ERR_NO_MEMORY);
  // Créé avant le démarrage du fil : le premier rappel d'état tourne ici, sur ce fil.
  etat_->connecter();
  if (avahi_threaded_poll_start(etat_->poll) < 0) {
    etat_->indisponible(AVAHI_ERR_FAILURE);
    retirer();
  }
}

void AnnonceurAvahi::retirer() {
  if (etat_->poll == nullptr) return;
  avahi_threaded_poll_stop(etat_->poll);
  if (etat_->client != nullptr) avahi_client_free(etat_->client);  // libère aussi le groupe
  // Libère aussi une minuterie de reprise encore prévue.
  avahi_threaded_poll_free(etat_->poll);
  etat_->poll = nullptr;
  etat_->client = nullptr;
  etat_->groupe = nullptr;
  etat_->reprise = nullptr;
  etat_->rappel = nullptr;
}

}  // namespace ravlo
