// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>

#include "recepteur/casiers_lecture.hpp"

namespace ravlo {

/// Le fondu enchaîné de la lecture, 2,5 ms : ce qui s'en va (le son que la tête quitte, ou
/// rien) s'éteint pendant que ce qui vient monte. Fil de rendu.
class FonduEnchaine {
 public:
  static constexpr std::int64_t trames = 120;

  /// Gain de la `j`-ième trame d'une montée : jamais 0 ni 1, pour que la descente qui lui
  /// répond (1 − gain) se raccorde sans marche.
  [[nodiscard]] static float montee(std::int64_t j) {
    return static_cast<float>(j + 1) / static_cast<float>(trames + 1);
  }

  /// Part de ce que la file tient depuis `depuis` (ce qui manque se tait).
  void partirDe(const CasiersLecture& casiers, CasiersLecture::Position depuis) {
    sortant_.fill(0.0F);
    casiers.copier(depuis, sortant_);
    restant_ = trames;
  }
  /// Part du silence : le son qui vient monte seul.
  void partirDuSilence() {
    sortant_.fill(0.0F);
    restant_ = trames;
  }
  [[nodiscard]] bool enCours() const { return restant_ > 0; }

  /// Mêle la trame suivante du fondu en cours à `g`, `d` (ce qui vient).
  void meler(float& g, float& d) {
    if (restant_ == 0) return;
    const std::int64_t m = trames - restant_--;
    const float w = montee(m);
    g = g * w + sortant_[static_cast<std::size_t>(2 * m)] * (1.0F - w);
    d = d * w + sortant_[static_cast<std::size_t>(2 * m + 1)] * (1.0F - w);
  }
  void oublier() { restant_ = 0; }

 private:
  std::array<float, 2 * trames> sortant_{};
  std::int64_t restant_ = 0;
};

}  // namespace ravlo
