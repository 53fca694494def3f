// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <string>

#include "protocol/base/octets.hpp"

namespace ravlo {

enum class CasErreurReleve : std::uint8_t {
  tropCourt,
  signatureInvalide,
  versionInconnue,
  nomTropLong,     ///< L au-delà de 128
  tailleInvalide,  ///< le contenu n'a pas exactement 4 + L octets
  nomInvalide      ///< pas de l'UTF-8 strict, ou un caractère de contrôle ou de format
};

struct ErreurReleve {
  CasErreurReleve cas;
  std::uint8_t octetLu = 0;  ///< l'octet de version, ou L
  bool operator==(const ErreurReleve&) const = default;
};

/// Ce que le récepteur dit à l'émetteur qu'il quitte quand un autre vient de s'appairer : le
/// nom de ce nouvel émetteur, juste avant le message de fin.
///
///   0      2   3   4              4+L
///   +------+---+---+--------------+
///   | "RR" | 1 | L | nom UTF-8 (L) |
///   +------+---+---+--------------+
///
/// Il voyage scellé dans une enveloppe de sorte `fin`. Un émetteur qui ne le connaît pas n'y
/// voit pas les 3 octets d'une fin et le jette, sans autre effet ; la fin qui suit l'arrête
/// comme avant. L ≤ 128 ; le nom peut être vide (un émetteur sans nom).
struct MessageReleve {
  static constexpr std::array<std::uint8_t, 2> signature{'R', 'R'};
  static constexpr std::uint8_t version = 1;
  static constexpr std::size_t tailleEnTete = 4;

  std::string nom;  ///< celui du nouvel émetteur, tel qu'il l'a donné à l'appairage

  /// La première règle rompue, dans l'ordre de `CasErreurReleve`.
  [[nodiscard]] static std::expected<MessageReleve, ErreurReleve> lire(VueOctets donnees);

  /// Le nom est d'abord rendu montrable (`nomAffichable` : sans caractère de contrôle ni de
  /// format, 128 octets au plus, UTF-8 valide) : tout message écrit se relit, et tout message
  /// lu se réécrit aux mêmes octets.
  [[nodiscard]] Octets encoder() const;

  bool operator==(const MessageReleve&) const = default;
};

}  // namespace ravlo
