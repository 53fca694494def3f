// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>

namespace ravlo {

/// Fenêtre anti-rejeu des 64 derniers compteurs acceptés.
///
/// `vus` bit i levé : le compteur `plusHaut` − i a été accepté (bit 0 toujours levé dès que
/// `plusHaut` existe). Exemple : après 100 puis 130, les bits 0 et 30 sont levés ; après
/// 100 puis 200 (saut ≥ 64), seul le bit 0 l'est.
class FenetreRejeu {
 public:
  /// Vrai si k n'a pas été vu et n'est pas 64 crans ou plus sous le plus haut.
  [[nodiscard]] bool admet(std::uint64_t k) const;

  /// Note k, déjà admis ; rend vrai si k devient le plus haut accepté.
  bool enregistrer(std::uint64_t k);

  [[nodiscard]] std::optional<std::uint64_t> plusHaut() const { return plusHaut_; }
  [[nodiscard]] std::uint64_t vus() const { return vus_; }

 private:
  std::optional<std::uint64_t> plusHaut_;
  std::uint64_t vus_ = 0;
};

}  // namespace ravlo
