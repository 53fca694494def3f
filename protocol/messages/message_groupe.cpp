// SPDX-License-Identifier: MPL-2.0
#include "protocol/messages/message_groupe.hpp"

#include <algorithm>

#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/base/lecteur_octets.hpp"

namespace ravlo {

std::expected<MessageGroupe, ErreurMessageHorloge> MessageGroupe::lire(VueOctets donnees) {
  using Cas = CasErreurMessageHorloge;
  if (donnees.size() != MessageHorloge::taille) {
    return std::unexpected(ErreurMessageHorloge{Cas::tailleInvalide});
  }
  if (!std::equal(MessageHorloge::signature.begin(), MessageHorloge::signature.end(),
                  donnees.begin())) {
    return std::unexpected(ErreurMessageHorloge{Cas::signatureInvalide});
  }
  if (donnees[2] != MessageHorloge::version) {
    return std::unexpected(ErreurMessageHorloge{Cas::versionInconnue, donnees[2]});
  }
  if (donnees[3] != static_cast<std::uint8_t>(Sorte::besoin) &&
      donnees[3] != static_cast<std::uint8_t>(Sorte::latence)) {
    return std::unexpected(ErreurMessageHorloge{Cas::sorteInconnue, donnees[3]});
  }
  return MessageGroupe{.sorte = static_cast<Sorte>(donnees[3]),
                       .a = lirePetitBoutiste<std::uint64_t>(donnees.data() + 4),
                       .b = lirePetitBoutiste<std::uint64_t>(donnees.data() + 12)};
}

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
