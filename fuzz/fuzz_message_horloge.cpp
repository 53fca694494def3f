// SPDX-License-Identifier: MPL-2.0
// Octets quelconques pour le lecteur du canal d'horloge (messages d'horloge et de groupe) : jamais
// de lecture hors limites, et tout message accepté se réencode à l'identique (le dernier champ
// d'un message de groupe, qui n'est pas lu, excepté).
#include <algorithm>
#include <cstdlib>
#include <variant>

#include "protocol/messages/canal_horloge.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  const VueOctets entree(donnees, taille);
  const auto message = lireCanalHorloge(entree);
  if (!message) {
    if (taille == MessageHorloge::taille &&
        message.error().cas == CasErreurMessageHorloge::tailleInvalide) {
      std::abort();
    }
    return 0;
  }
  const Octets encode = std::visit([](const auto& m) { return m.encoder(); }, *message);
  const std::size_t lus = std::holds_alternative<MessageGroupe>(*message) ? 20 : taille;
  if (encode.size() != taille || !std::equal(encode.begin(), encode.begin() + lus, entree.begin()))
    std::abort();
  return 0;
}
