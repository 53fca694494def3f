// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <sodium.h>

#include <algorithm>
#include <cstddef>
#include <span>

#include "protocol/base/exiger.hpp"
#include "protocol/base/octets.hpp"

namespace ravlo {

/// D'où l'appairage tire chacune de ses valeurs aléatoires (numéro de tentative, clés
/// privées, nonces), dans un ordre fixé : une source déterministe rend tout l'échange
/// reproductible octet pour octet.
class SourceDeHasard {
 public:
  virtual ~SourceDeHasard() = default;
  /// Exactement `nombre` octets.
  [[nodiscard]] virtual Octets octetsAleatoires(std::size_t nombre) = 0;
  /// Remplit `dans`, au même point du flot que `octetsAleatoires` : sert aux secrets, qui
  /// ne doivent pas laisser de copie. Par défaut à travers un tampon effacé aussitôt.
  virtual void remplir(std::span<std::uint8_t> dans) {
    Octets octets = octetsAleatoires(dans.size());
    RAVLO_EXIGER(octets.size() == dans.size());
    std::copy(octets.begin(), octets.end(), dans.begin());
    sodium_memzero(octets.data(), octets.size());
  }
};

/// `nombre` octets de `hasard` ; une source qui en rend un autre nombre est fautive.
[[nodiscard]] inline Octets tirer(SourceDeHasard& hasard, std::size_t nombre) {
  Octets octets = hasard.octetsAleatoires(nombre);
  RAVLO_EXIGER(octets.size() == nombre);
  return octets;
}

}  // namespace ravlo
