// SPDX-License-Identifier: MPL-2.0
// Octets quelconques pour le décodeur des messages d'appairage : jamais de lecture hors
// limites, et tout message accepté se réencode en exactement les octets lus (la forme sur
// le fil est unique) puis se relit égal.
#include <cstdlib>

#include "protocol/appairage/message_passkey.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  const auto message = MessagePasskey::decoder(VueOctets(donnees, taille));
  if (!message) return 0;
  const Octets encode = message->donnees();
  if (encode != Octets(donnees, donnees + taille)) std::abort();
  const auto relu = MessagePasskey::decoder(encode);
  if (!relu || !(*relu == *message)) std::abort();
  return 0;
}
