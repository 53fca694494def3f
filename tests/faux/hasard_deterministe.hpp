// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>

#include "protocol/crypto/source_de_hasard.hpp"

namespace ravlo {

/// Source reproductible pour les essais, le fuzzing et les mesures : le flot ChaCha20 d'une
/// clé faite de la graine (8 octets petit-boutistes puis des zéros), nonce nul, lu d'un
/// seul tenant d'un tirage au suivant. Deux sources de même graine donnent les mêmes
/// octets ; elle compte ce qu'on lui a tiré. Jamais pour de vrais secrets.
class HasardDeterministe final : public SourceDeHasard {
 public:
  explicit HasardDeterministe(std::uint64_t graine);

  [[nodiscard]] Octets octetsAleatoires(std::size_t nombre) override;

  /// Octets tirés depuis la construction.
  [[nodiscard]] std::uint64_t octetsTires() const { return position_; }

 private:
  std::array<std::uint8_t, 32> cle_{};
  std::array<std::uint8_t, 64> bloc_{};
  std::uint64_t position_ = 0;
};

}  // namespace ravlo
