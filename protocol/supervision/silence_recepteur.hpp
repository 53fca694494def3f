// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Se souvient de la dernière fois que le récepteur a été entendu (tout datagramme
/// authentifié venu de lui) : silencieux à partir de 3 s, perdu à partir de 10 min.
///
/// L'heure retenue ne recule jamais, et un `maintenant` antérieur à elle compte pour un
/// silence nul : une heure lue un peu plus tôt ailleurs ne fait pas croire le récepteur perdu.
class SilenceRecepteur {
 public:
  static constexpr std::uint64_t silencieuxNs = 3'000'000'000;
  static constexpr std::uint64_t perduNs = 600'000'000'000;

  /// `depuis` : l'instant à partir duquel on attend le récepteur (le début de l'envoi).
  explicit SilenceRecepteur(InstantNs depuis) : entenduNs_(depuis) {}

  /// Le récepteur vient d'être entendu.
  void entendu(InstantNs maintenant) {
    if (ecartSigneNs(maintenant, entenduNs_) > 0) entenduNs_ = maintenant;
  }

  [[nodiscard]] bool estSilencieux(InstantNs maintenant) const {
    return ecartSigneNs(maintenant, entenduNs_) >= static_cast<std::int64_t>(silencieuxNs);
  }

  [[nodiscard]] bool estPerdu(InstantNs maintenant) const {
    return ecartSigneNs(maintenant, entenduNs_) >= static_cast<std::int64_t>(perduNs);
  }

 private:
  InstantNs entenduNs_;
};

}  // namespace ravlo
