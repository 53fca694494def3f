// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>

namespace ravlo {

/// Ce qui arrive à la lecture pendant un rendu et que le pilote doit savoir : un ensemble de
/// drapeaux que chaque `FileLecture::tirer` rend, et que la file cumule jusqu'à ce que le
/// pilote les prenne (`FileLecture::prendreEvenements`).
enum class Evenement : std::uint8_t {
  trou = 1,          ///< la file a tari en pleine lecture : elle se réamorcera
  rattrapage = 2,    ///< le son le plus ancien sauté jusqu'à l'amorce
  recalage = 4,      ///< un décalage demandé fait
  repriseHeure = 8,  ///< un rendu daté après un ou plusieurs sans heure
};

struct Evenements {
  std::uint8_t bits = 0;

  void ajouter(Evenement e) {
    bits = static_cast<std::uint8_t>(bits | static_cast<std::uint8_t>(e));
  }
  void ajouter(Evenements e) { bits = static_cast<std::uint8_t>(bits | e.bits); }
  [[nodiscard]] bool contient(Evenement e) const {
    return (bits & static_cast<std::uint8_t>(e)) != 0;
  }
  bool operator==(const Evenements&) const = default;
};

}  // namespace ravlo
