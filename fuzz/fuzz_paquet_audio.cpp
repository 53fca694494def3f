// SPDX-License-Identifier: MPL-2.0
// Octets quelconques pour le lecteur de paquets : jamais de lecture hors limites, et tout
// paquet accepté se réencode à l'identique (octet 3 mis à part) puis se relit égal.
#include <cstdlib>

#include "protocol/messages/paquet_audio.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  const auto paquet = PaquetAudio::lire(VueOctets(donnees, taille));
  if (!paquet) return 0;
  const Octets encode = paquet->encoder();
  if (encode.size() != taille) std::abort();
  for (std::size_t i = 0; i < taille; ++i) {
    if (i != 3 && encode[i] != donnees[i]) std::abort();
  }
  const auto relu = PaquetAudio::lire(encode);
  if (!relu || !(*relu == *paquet)) std::abort();
  return 0;
}
