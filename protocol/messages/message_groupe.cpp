// SPDX-License-Identifier: MPL-2.0
#include "protocol/messages/message_groupe.hpp"

#include "protocol/base/ecrivain_octets.hpp"

namespace ravlo {

Octets MessageGroupe::encoder() const {
  EcrivainOctets sortie(MessageHorloge::taille);
  sortie.ecrire(VueOctets(MessageHorloge::signature))
      .ecrire(MessageHorloge::version)
      .ecrire(static_cast<std::uint8_t>(sorte))
      .ecrire(a)
      .ecrire(b)
      .ecrire(std::uint64_t{0});
  return std::move(sortie).terminer();
}

}  // namespace ravlo
