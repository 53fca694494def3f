#pragma once

#include <cstddef>

#include "protocol/exiger.hpp"
#include "protocol/octets.hpp"

namespace ravlo {

/// D'où l'appairage tire chacune de ses valeurs aléatoires (numéro de tentative, clés
/// privées, nonces), dans un ordre fixé : une source déterministe rend tout l'échange
/// reproductible octet pour octet.
class SourceDeHasard {
 public:
  virtual ~SourceDeHasard() = default;
  /// Exactement `nombre` octets.
  [[nodiscard]] virtual Octets octetsAleatoires(std::size_t nombre) = 0;
};

/// `nombre` octets de `hasard` ; une source qui en rend un autre nombre est fautive.
[[nodiscard]] inline Octets tirer(SourceDeHasard& hasard, std::size_t nombre) {
  Octets octets = hasard.octetsAleatoires(nombre);
  RAVLO_EXIGER(octets.size() == nombre);
  return octets;
}

}  // namespace ravlo
