// SPDX-License-Identifier: MPL-2.0
// Octets quelconques pour les lecteurs de messages d'horloge et de groupe : jamais de lecture hors
// limites, et tout message accepté se réencode à l'identique.
#include <algorithm>
#include <cstdlib>

#include "protocol/messages/message_groupe.hpp"
#include "protocol/messages/message_horloge.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  const VueOctets entree(donnees, taille);
  // Un même octet de sorte ne peut être des deux formats.
  const auto groupe = MessageGroupe::lire(entree);
  if (groupe) {
    const Octets encode = groupe->encoder();
    if (MessageHorloge::lire(entree)) std::abort();
    if (!std::equal(encode.begin(), encode.begin() + 20, entree.begin())) std::abort();
  }
  const auto message = MessageHorloge::lire(entree);
  if (!message) {
    if (taille == MessageHorloge::taille &&
        message.error().cas == CasErreurMessageHorloge::tailleInvalide) {
      std::abort();
    }
    return 0;
  }
  const Octets encode = message->encoder();
  if (!std::equal(encode.begin(), encode.end(), entree.begin(), entree.end())) std::abort();
  return 0;
}
