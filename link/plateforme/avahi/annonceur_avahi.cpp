#include "link/plateforme/avahi/annonceur_avahi.hpp"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

namespace ravlo {

// Touché sur le fil d'Avahi seulement, ou quand ce fil est arrêté.
struct AnnonceurAvahi::Etat {
  std::string nom;
  std::string type;
  std::uint16_t port = 0;
  RappelEtat rappel;
  AvahiThreadedPoll* poll = nullptr;
  AvahiClient* client = nullptr;
  AvahiEntryGroup* groupe = nullptr;

  void signaler(EtatAnnonce::Cas cas, std::string raison = {}) {
    if (rappel) rappel(EtatAnnonce{cas, nom, std::move(raison)});
  }

  void indisponible(int erreur) {
    signaler(EtatAnnonce::Cas::indisponible, avahi_strerror(erreur));
  }

  void publier(AvahiClient* c) {
    if (groupe == nullptr) groupe = avahi_entry_group_new(c, &Etat::rappelGroupe, this);
    if (groupe == nullptr) return indisponible(avahi_client_errno(c));
    avahi_entry_group_reset(groupe);
    const int erreur = avahi_entry_group_add_service(groupe, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                     static_cast<AvahiPublishFlags>(0), nom.c_str(),
                                                     type.c_str(), nullptr, nullptr, port, nullptr);
    if (erreur == AVAHI_ERR_COLLISION) return renommer(c);
    if (erreur < 0 || avahi_entry_group_commit(groupe) < 0) indisponible(avahi_client_errno(c));
  }

  void renommer(AvahiClient* c) {
    char* autre = avahi_alternative_service_name(nom.c_str());
    nom = autre;
    avahi_free(autre);
    publier(c);
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
      case AVAHI_CLIENT_FAILURE:
        soi->indisponible(avahi_client_errno(c));
        break;
      default:
        break;
    }
  }
};

AnnonceurAvahi::AnnonceurAvahi() : etat_(std::make_unique<Etat>()) {}

AnnonceurAvahi::~AnnonceurAvahi() {
  retirer();
}

void AnnonceurAvahi::annoncer(const std::string& nom, const std::string& type, std::uint16_t port,
                              RappelEtat etat) {
  retirer();
  etat_->nom = nom;
  etat_->type = type;
  etat_->port = port;
  etat_->rappel = std::move(etat);
  etat_->poll = avahi_threaded_poll_new();
  if (etat_->poll == nullptr) return etat_->indisponible(AVAHI_ERR_NO_MEMORY);
  int erreur = 0;
  // Créé avant le démarrage du fil : le premier rappel d'état tourne ici, sur ce fil.
  etat_->client =
      avahi_client_new(avahi_threaded_poll_get(etat_->poll), static_cast<AvahiClientFlags>(0),
                       &Etat::rappelClient, etat_.get(), &erreur);
  if (etat_->client == nullptr) return etat_->indisponible(erreur);
  avahi_threaded_poll_start(etat_->poll);
}

void AnnonceurAvahi::retirer() {
  if (etat_->poll == nullptr) return;
  avahi_threaded_poll_stop(etat_->poll);
  if (etat_->client != nullptr) avahi_client_free(etat_->client);  // libère aussi le groupe
  avahi_threaded_poll_free(etat_->poll);
  etat_->poll = nullptr;
  etat_->client = nullptr;
  etat_->groupe = nullptr;
  etat_->rappel = nullptr;
}

}  // namespace ravlo
