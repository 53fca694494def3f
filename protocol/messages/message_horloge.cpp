// SPDX-License-Identifier: MPL-2.0
#include "protocol/messages/message_horloge.hpp"

#include "protocol/base/ecrivain_octets.hpp"

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
