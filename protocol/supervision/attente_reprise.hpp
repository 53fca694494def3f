// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Rythme les essais de reprendre un service absent (le serveur de son arrêté ou relancé) :
/// le premier aussitôt, puis après 0,5 s, 1 s, 2 s, 4 s, et toutes les 5 s tant qu'il
/// manque. Assez vite pour qu'un serveur relancé se retrouve en une seconde ou deux, assez
/// lent pour qu'une longue absence ne coûte presque rien.
///
/// Exemple, absence vue à 10 s : essais à 10 s, 10,5 s, 11,5 s, 13,5 s, 17,5 s, 22,5 s…
/// Un instant antérieur au dernier essai (heure lue ailleurs, un peu plus tôt) n'en permet pas
/// d'autre.
class AttenteReprise {
 public:
  static constexpr std::uint64_t premierDelaiNs = 500'000'000;
  static constexpr std::uint64_t delaiMaxNs = 5'000'000'000;

  /// Vrai s'il est l'heure d'un essai.
  [[nodiscard]] bool aEssayer(InstantNs maintenant) const {
    return !dernierEssaiNs_ ||
           ecartSigneNs(maintenant, *dernierEssaiNs_) >= static_cast<std::int64_t>(delaiNs_);
  }

  /// Un essai vient d'échouer, ou de partir sans qu'on sache encore s'il tiendra : le suivant
  /// attend le délai, qui double.
  void essaye(InstantNs maintenant) {
    if (dernierEssaiNs_) delaiNs_ = std::min(delaiNs_ * 2, delaiMaxNs);
    dernierEssaiNs_ = maintenant;
  }

  /// Ce qu'il reste à attendre avant le prochain essai, ns (0 : tout de suite).
  [[nodiscard]] std::uint64_t resteNs(InstantNs maintenant) const {
    if (!dernierEssaiNs_) return 0;
    const std::int64_t ecoule = ecartSigneNs(maintenant, *dernierEssaiNs_);
    return ecoule >= static_cast<std::int64_t>(delaiNs_)
               ? 0
               : delaiNs_ - static_cast<std::uint64_t>(std::max<std::int64_t>(ecoule, 0));
  }

  /// Le service est revenu : la prochaine absence repart du premier essai immédiat.
  void reussie() {
    dernierEssaiNs_.reset();
    delaiNs_ = premierDelaiNs;
  }

 private:
  std::optional<InstantNs> dernierEssaiNs_;
  std::uint64_t delaiNs_ = premierDelaiNs;
};

}  // namespace ravlo
