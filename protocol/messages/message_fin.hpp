// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "protocol/base/octets.hpp"

namespace ravlo {

/// Contenu d'une enveloppe de sorte `fin` : le récepteur l'envoie quand il cesse de jouer.
///
///   0      2   3
///   +------+---+
///   | "RF" | 1 |
///   +------+---+
struct MessageFin {
  static constexpr std::array<std::uint8_t, 2> signature{'R', 'F'};
  static constexpr std::uint8_t version = 1;
  static constexpr std::array<std::uint8_t, 3> donnees{signature[0], signature[1], version};

  /// Vrai exactement pour les 3 octets de `donnees` ; tout autre contenu d'une enveloppe
  /// `fin` n'est pas une fin et s'ignore.
  [[nodiscard]] static bool estFin(VueOctets contenu) {
    return std::equal(contenu.begin(), contenu.end(), donnees.begin(), donnees.end());
  }

  MessageFin() = delete;
};

}  // namespace ravlo
