#pragma once

#include <cstddef>

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

}  // namespace ravlo
