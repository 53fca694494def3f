// SPDX-License-Identifier: MPL-2.0
// Texte quelconque pour la lecture de l'état de la carte : jamais d'exception ni de lecture
// hors limites, et tout état lu se réencode puis se relit égal.
#include <cstdlib>
#include <string_view>

#include "protocol/messages/etat_carte.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  const auto etat =
      EtatCarte::decoder(std::string_view(reinterpret_cast<const char*>(donnees), taille));
  if (!etat) return 0;
  const auto relu = EtatCarte::decoder(etat->encoder());
  if (!relu || !(*relu == *etat)) std::abort();
  return 0;
}
