// SPDX-License-Identifier: MPL-2.0
#include "plateforme/avahi/nom_local_avahi.hpp"

#include <avahi-client/client.h>
#include <avahi-common/simple-watch.h>

namespace ravlo {

std::optional<std::string> nomLocalAvahi() {
  AvahiSimplePoll* poll = avahi_simple_poll_new();
  if (poll == nullptr) return std::nullopt;
  int erreur = 0;
  // Sans AVAHI_CLIENT_NO_FAIL : un démon absent fait échouer la création aussitôt.
  AvahiClient* client = avahi_client_new(
      avahi_simple_poll_get(poll), AvahiClientFlags{}, [](AvahiClient*, AvahiClientState, void*) {},
      nullptr, &erreur);
  std::optional<std::string> nom;
  if (client != nullptr) {
    // Un nom en conflit ou pas encore enregistré n'est pas encore joignable.
    if (avahi_client_get_state(client) == AVAHI_CLIENT_S_RUNNING) {
      if (const char* fqdn = avahi_client_get_host_name_fqdn(client); fqdn != nullptr && *fqdn)
        nom = fqdn;
    }
    avahi_client_free(client);
  }
  avahi_simple_poll_free(poll);
  return nom;
}

}  // namespace ravlo
