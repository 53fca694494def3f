// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <expected>
#include <variant>

#include "protocol/base/octets.hpp"
#include "protocol/messages/message_groupe.hpp"
#include "protocol/messages/message_horloge.hpp"

namespace ravlo {

/// Ce que porte une enveloppe d'horloge : une question ou une réponse d'heure (sortes 0 et 1),
/// un besoin ou une latence de groupe (sortes 2 et 3), sur les mêmes 28 octets.
using MessageCanalHorloge = std::variant<MessageHorloge, MessageGroupe>;

/// Le seul lecteur du canal d'horloge. Rapporte la première règle rompue, dans l'ordre :
/// longueur (28 octets), signature "RC", version 1, sorte de 0 à 3. Le dernier champ d'un
/// message de groupe n'est pas lu.
[[nodiscard]] std::expected<MessageCanalHorloge, ErreurMessageHorloge> lireCanalHorloge(
    VueOctets donnees);

}  // namespace ravlo
