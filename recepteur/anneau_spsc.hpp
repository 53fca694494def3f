// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace ravlo {

/// Anneau d'un seul producteur vers un seul consommateur, sans verrou ni allocation après
/// la construction : le producteur remplit une case réservée puis la publie (release), le
/// consommateur la lit puis la rend (release). Ni l'un ni l'autre n'attend jamais : plein,
/// `reserver` rend nul et le producteur jette ce qu'il voulait passer ; vide, `prochaine`
/// rend nul.
///
/// `reserver`, `publier` : le fil producteur seul ; `prochaine`, `rendre` : le consommateur.
template <typename T, std::size_t N>
class AnneauSpsc {
  static_assert(N > 0 && (N & (N - 1)) == 0, "une puissance de deux");

 public:
  AnneauSpsc() : cases_(std::make_unique<std::array<T, N>>()) {}

  /// La case à remplir, ou nul si l'anneau est plein.
  [[nodiscard]] T* reserver() {
    const std::size_t e = ecrit_.load(std::memory_order_relaxed);
    if (e - lu_.load(std::memory_order_acquire) == N) return nullptr;
    return &(*cases_)[e % N];
  }
  /// Rend visible la case que `reserver` a donnée.
  void publier() {
    ecrit_.store(ecrit_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }

  /// La plus ancienne case publiée, ou nul.
  [[nodiscard]] const T* prochaine() const {
    const std::size_t l = lu_.load(std::memory_order_relaxed);
    if (l == ecrit_.load(std::memory_order_acquire)) return nullptr;
    return &(*cases_)[l % N];
  }
  /// Libère la case que `prochaine` a donnée.
  void rendre() { lu_.store(lu_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

 private:
  const std::unique_ptr<std::array<T, N>> cases_;
  alignas(64) std::atomic<std::size_t> ecrit_{0};
  alignas(64) std::atomic<std::size_t> lu_{0};
};

}  // namespace ravlo
