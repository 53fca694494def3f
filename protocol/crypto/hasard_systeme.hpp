// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "protocol/crypto/source_de_hasard.hpp"

namespace ravlo {

/// Le générateur sûr du système (libsodium) : la source de production. Sans état, sûre
/// depuis n'importe quel fil.
class HasardSysteme final : public SourceDeHasard {
 public:
  [[nodiscard]] Octets octetsAleatoires(std::size_t nombre) override;
  void remplir(std::span<std::uint8_t> dans) override;
};

}  // namespace ravlo
