// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "protocol/base/octets.hpp"

namespace ravlo {

/// Écriture séquentielle d'entiers petit-boutistes et de morceaux d'octets.
class EcrivainOctets {
 public:
  EcrivainOctets() = default;
  /// Réserve d'avance la taille finale, pour une seule allocation.
  explicit EcrivainOctets(std::size_t reserve) { octets_.reserve(reserve); }

  template <std::unsigned_integral T>
  EcrivainOctets& ecrire(T valeur) {
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      octets_.push_back(static_cast<std::uint8_t>(valeur >> (8 * i)));
    }
    return *this;
  }

  EcrivainOctets& ecrire(VueOctets morceau) {
    octets_.insert(octets_.end(), morceau.begin(), morceau.end());
    return *this;
  }

  [[nodiscard]] Octets terminer() && { return std::move(octets_); }

 private:
  Octets octets_;
};

/// Écrit un entier petit-boutiste à une position connue ; l'appelant a vérifié la place.
template <std::unsigned_integral T>
constexpr void ecrirePetitBoutiste(std::uint8_t* octets, T valeur) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    octets[i] = static_cast<std::uint8_t>(valeur >> (8 * i));
  }
}

}  // namespace ravlo
