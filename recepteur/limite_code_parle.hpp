// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Quand le récepteur dit son code à voix haute : au plus une fois toutes les 8 s, quels que
/// soient le nombre et les sources des demandes (une demande n'est pas authentifiée : un flot
/// venu de mille adresses ne fait pas parler plus souvent), seulement s'il a un code à donner,
/// et jamais par-dessus sa propre voix.
///
/// Exemple : demandes à 0 s, 1 s, 7,9 s et 8 s → dite, trop tôt, trop tôt, dite.
///
/// Une valeur sans horloge : chaque appel reçoit `maintenant`. Non synchronisée.
class LimiteCodeParle {
 public:
  static constexpr std::uint64_t intervalleNs = 8'000'000'000;

  enum class Issue : std::uint8_t {
    dire,
    sansCode,  ///< code épuisé ou appairage suspendu : rien à donner
    enParole,  ///< le code se dit encore
    tropTot,   ///< moins de `intervalleNs` depuis le dernier dit
  };

  /// Une demande arrivée à `maintenant` ; `dire` la retient comme la dernière dite.
  [[nodiscard]] Issue demander(InstantNs maintenant, bool codeADonner, bool enParole);

 private:
  std::optional<InstantNs> dernier_;
};

}  // namespace ravlo
