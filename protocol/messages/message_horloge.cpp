// SPDX-License-Identifier: MPL-2.0
#include "protocol/messages/message_horloge.hpp"

#include <algorithm>

#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/base/lecteur_octets.hpp"

namespace ravlo {

MessageHorloge MessageHorloge::question(InstantNs envoi) {
  return MessageHorloge{.sorte = Sorte::question, .envoiQuestion = envoi};
}

MessageHorloge MessageHorloge::reponse(InstantNs reception, InstantNs envoi) const {
  return MessageHorloge{.sorte = Sorte::reponse,
                        .envoiQuestion = envoiQuestion,
                        .receptionQuestion = reception,
                        .envoiReponse = envoi};
}

std::expected<MessageHorloge, ErreurMessageHorloge> MessageHorloge::lire(VueOctets donnees) {
  using Cas = CasErreurMessageHorloge;
  if (donnees.size() != taille) return std::unexpected(ErreurMessageHorloge{Cas::tailleInvalide});
  if (!std::equal(signature.begin(), signature.end(), donnees.begin())) {
    return std::unexpected(ErreurMessageHorloge{Cas::signatureInvalide});
  }
  if (donnees[2] != version) {
    return std::unexpected(ErreurMessageHorloge{Cas::versionInconnue, donnees[2]});
  }
  if (donnees[3] > static_cast<std::uint8_t>(Sorte::reponse)) {
    return std::unexpected(ErreurMessageHorloge{Cas::sorteInconnue, donnees[3]});
  }
  return MessageHorloge{.sorte = static_cast<Sorte>(donnees[3]),
                        .envoiQuestion = lirePetitBoutiste<std::uint64_t>(donnees.data() + 4),
                        .receptionQuestion = lirePetitBoutiste<std::uint64_t>(donnees.data() + 12),
                        .envoiReponse = lirePetitBoutiste<std::uint64_t>(donnees.data() + 20)};
}

Octets MessageHorloge::encoder() const {
  EcrivainOctets sortie(taille);
  sortie.ecrire(VueOctets(signature))
      .ecrire(version)
      .ecrire(static_cast<std::uint8_t>(sorte))
      .ecrire(envoiQuestion)
      .ecrire(receptionQuestion)
      .ecrire(envoiReponse);
  return std::move(sortie).terminer();
}

}  // namespace ravlo
