// SPDX-License-Identifier: MPL-2.0
// Octets quelconques pour le lecteur du message de relève, dans une enveloppe de fin : jamais
// de lecture hors limites, jamais lu à la fois comme une fin et comme une relève, et tout
// message accepté se réécrit aux mêmes octets et se relit égal.
#include <algorithm>
#include <cstdlib>

#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_releve.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  const VueOctets entree(donnees, taille);
  const auto releve = MessageReleve::lire(entree);
  if (!releve) return 0;
  if (MessageFin::estFin(entree)) std::abort();
  if (releve->nom.size() > nomOctetsMax) std::abort();
  const Octets encode = releve->encoder();
  if (!std::equal(encode.begin(), encode.end(), entree.begin(), entree.end())) std::abort();
  if (MessageReleve::lire(encode) != releve) std::abort();
  return 0;
}
