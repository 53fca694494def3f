// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <sodium.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ravlo {

/// N octets secrets (clé privée, secret d'accord, clé dérivée) effacés par chaque copie
/// quand elle disparaît : aucun reste en mémoire libérée.
template <std::size_t N>
class Secret {
 public:
  Secret() = default;
  explicit Secret(std::span<const std::uint8_t, N> octets) {
    for (std::size_t i = 0; i < N; ++i) octets_[i] = octets[i];
  }
  Secret(const Secret&) = default;
  Secret& operator=(const Secret&) = default;
  ~Secret() { sodium_memzero(octets_.data(), N); }

  [[nodiscard]] const std::array<std::uint8_t, N>& octets() const { return octets_; }
  /// En temps constant.
  bool operator==(const Secret& autre) const {
    return sodium_memcmp(octets_.data(), autre.octets_.data(), N) == 0;
  }
  [[nodiscard]] std::array<std::uint8_t, N>& octets() { return octets_; }

 private:
  std::array<std::uint8_t, N> octets_{};
};

}  // namespace ravlo
