// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace ravlo {

/// Une valeur qu'un seul fil écrit et que d'autres lisent entière, sans verrou (seqlock) :
/// l'écrivain n'attend jamais ; un lecteur qui tombe sur une écriture en cours relit. Les
/// mots sont atomiques, d'où aucune course pour les outils qui les cherchent.
///
/// `ecrire` : un seul fil ; `lire` : n'importe lequel.
template <typename T>
class Publication {
  static_assert(std::is_trivially_copyable_v<T>);
  static constexpr std::size_t mots = (sizeof(T) + 7) / 8;

 public:
  explicit Publication(const T& valeur = T{}) { ecrire(valeur); }

  void ecrire(const T& valeur) {
    std::array<std::uint64_t, mots> brut{};
    std::memcpy(brut.data(), &valeur, sizeof(T));
    const std::uint64_t s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (std::size_t i = 0; i < mots; ++i) mots_[i].store(brut[i], std::memory_order_relaxed);
    sequence_.store(s + 2, std::memory_order_release);
  }

  [[nodiscard]] T lire() const {
    std::array<std::uint64_t, mots> brut{};
    for (;;) {
      const std::uint64_t avant = sequence_.load(std::memory_order_acquire);
      if (avant % 2 != 0) continue;
      for (std::size_t i = 0; i < mots; ++i) brut[i] = mots_[i].load(std::memory_order_relaxed);
      std::atomic_thread_fence(std::memory_order_acquire);
      if (sequence_.load(std::memory_order_relaxed) == avant) break;
    }
    T valeur;
    std::memcpy(static_cast<void*>(&valeur), brut.data(), sizeof(T));
    return valeur;
  }

 private:
  std::atomic<std::uint64_t> sequence_{0};
  std::array<std::atomic<std::uint64_t>, mots> mots_{};
};

}  // namespace ravlo
