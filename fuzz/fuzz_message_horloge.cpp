// Octets quelconques pour le lecteur de messages d'horloge : jamais de lecture hors limites,
// et tout message accepté se réencode à l'identique.
#include <algorithm>
#include <cstdlib>

#include "protocol/messages/message_horloge.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  const VueOctets entree(donnees, taille);
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
