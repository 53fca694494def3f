// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/base/instant.hpp"
#include "protocol/base/octets.hpp"

namespace ravlo {

enum class CasErreurMessageHorloge : std::uint8_t {
  tailleInvalide,     ///< pas exactement 28 octets
  signatureInvalide,  ///< les octets 0–1 ne sont pas "RC"
  versionInconnue,    ///< l'octet 2 n'est pas 1 ; `octetLu` le porte
  sorteInconnue       ///< l'octet 3 n'est pas de 0 à 3 ; `octetLu` le porte
};

struct ErreurMessageHorloge {
  CasErreurMessageHorloge cas;
  std::uint8_t octetLu = 0;  ///< octet fautif, pour `versionInconnue` et `sorteInconnue`
  bool operator==(const ErreurMessageHorloge&) const = default;
};

/// Question ou réponse de l'échange d'heures à quatre instants, à la manière de NTP : le
/// récepteur demande l'heure en datant sa question de son horloge, l'émetteur répond avec
/// l'heure d'arrivée de la question et l'heure de départ de la réponse, dans la sienne.
///
///   0      2   3   4                 12                  20                 28
///   +------+---+---+-----------------+-------------------+------------------+
///   | "RC" | 1 | s | envoiQuestion   | receptionQuestion | envoiReponse     |
///   +------+---+---+-----------------+-------------------+------------------+
///
/// Entiers petit-boutistes ; s vaut 0 (question) ou 1 (réponse) ; une question porte 0
/// dans ses deux derniers champs. Toujours 28 octets. Se lit par `lireCanalHorloge`
/// (canal_horloge.hpp), avec les messages de groupe.
struct MessageHorloge {
  enum class Sorte : std::uint8_t { question = 0, reponse = 1 };

  static constexpr std::array<std::uint8_t, 2> signature{'R', 'C'};
  static constexpr std::uint8_t version = 1;
  static constexpr std::size_t taille = 28;

  Sorte sorte = Sorte::question;
  InstantNs envoiQuestion = 0;      ///< horloge du demandeur au départ de la question
  InstantNs receptionQuestion = 0;  ///< horloge du répondeur à l'arrivée de la question
  InstantNs envoiReponse = 0;       ///< horloge du répondeur au départ de la réponse

  /// Question datée de `envoi`.
  [[nodiscard]] static MessageHorloge question(InstantNs envoi);

  /// Réponse à cette question : son `envoiQuestion` recopié, `reception` pour
  /// `receptionQuestion` et `envoi` pour `envoiReponse`.
  [[nodiscard]] MessageHorloge reponse(InstantNs reception, InstantNs envoi) const;

  [[nodiscard]] Octets encoder() const;

  bool operator==(const MessageHorloge&) const = default;
};

}  // namespace ravlo
