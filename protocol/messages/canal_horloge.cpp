// SPDX-License-Identifier: MPL-2.0
#include "protocol/messages/canal_horloge.hpp"

#include <algorithm>

#include "protocol/base/lecteur_octets.hpp"

namespace ravlo {

std::expected<MessageCanalHorloge, ErreurMessageHorloge> lireCanalHorloge(VueOctets donnees) {
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
  const std::uint8_t sorte = donnees[3];
  const auto a = lirePetitBoutiste<std::uint64_t>(donnees.data() + 4);
  const auto b = lirePetitBoutiste<std::uint64_t>(donnees.data() + 12);
  switch (sorte) {
    case static_cast<std::uint8_t>(MessageHorloge::Sorte::question):
    case static_cast<std::uint8_t>(MessageHorloge::Sorte::reponse):
      return MessageHorloge{.sorte = static_cast<MessageHorloge::Sorte>(sorte),
                            .envoiQuestion = a,
                            .receptionQuestion = b,
                            .envoiReponse = lirePetitBoutiste<std::uint64_t>(donnees.data() + 20)};
    case static_cast<std::uint8_t>(MessageGroupe::Sorte::besoin):
    case static_cast<std::uint8_t>(MessageGroupe::Sorte::latence):
      return MessageGroupe{.sorte = static_cast<MessageGroupe::Sorte>(sorte), .a = a, .b = b};
    default:
      return std::unexpected(ErreurMessageHorloge{Cas::sorteInconnue, sorte});
  }
}

}  // namespace ravlo
