// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/base/octets.hpp"

namespace ravlo {

/// Lecture séquentielle d'entiers petit-boutistes dans des octets venus de l'extérieur.
/// Ne lit jamais au-delà de la vue : chaque lecture qui manquerait d'octets rend nullopt
/// et laisse la position inchangée.
class LecteurOctets {
 public:
  explicit LecteurOctets(VueOctets donnees) : donnees_(donnees) {}

  template <std::unsigned_integral T>
  [[nodiscard]] std::optional<T> lire() {
    if (reste() < sizeof(T)) return std::nullopt;
    T valeur = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      valeur |= static_cast<T>(static_cast<T>(donnees_[position_ + i]) << (8 * i));
    }
    position_ += sizeof(T);
    return valeur;
  }

  /// Les n octets suivants, ou nullopt s'il en reste moins.
  [[nodiscard]] std::optional<VueOctets> prendre(std::size_t n) {
    if (reste() < n) return std::nullopt;
    VueOctets morceau = donnees_.subspan(position_, n);
    position_ += n;
    return morceau;
  }

  [[nodiscard]] std::size_t reste() const { return donnees_.size() - position_; }
  [[nodiscard]] std::size_t position() const { return position_; }

 private:
  VueOctets donnees_;
  std::size_t position_ = 0;
};

/// Entier petit-boutiste lu à une position connue ; l'appelant a vérifié la longueur.
template <std::unsigned_integral T>
[[nodiscard]] constexpr T lirePetitBoutiste(const std::uint8_t* octets) {
  T valeur = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    valeur |= static_cast<T>(static_cast<T>(octets[i]) << (8 * i));
  }
  return valeur;
}

}  // namespace ravlo
