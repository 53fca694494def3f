// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>

namespace ravlo {

/// Instant en nanosecondes de l'horloge monotone brute de l'hôte.
using InstantNs = std::uint64_t;

/// Écart `plusTard` − `plusTot`, pris en non signé avec repli modulo 2⁶⁴ : juste tant que
/// le vrai écart est positif et tient sur 64 bits, même quand l'horloge a fait le tour.
[[nodiscard]] constexpr std::uint64_t ecartNs(InstantNs plusTard, InstantNs plusTot) {
  return plusTard - plusTot;
}

/// Même écart lu en signé : négatif quand `plusTard` est en fait avant `plusTot`.
[[nodiscard]] constexpr std::int64_t ecartSigneNs(InstantNs plusTard, InstantNs plusTot) {
  return static_cast<std::int64_t>(plusTard - plusTot);
}

}  // namespace ravlo
