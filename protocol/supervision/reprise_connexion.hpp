// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Rythme la re-création d'une connexion datagramme que le système dit en attente ou en
/// échec, et décide quand renoncer : au plus une re-création par seconde, abandon à partir
/// de 30 s de panne. La connexion qui vient de tomber garde sa première seconde.
///
/// Exemple, panne vue à 10 s : `decider` rend rien à 10 s et 10,5 s, recreer à 11 s, rien à
/// 11,9 s, abandonner à 40 s.
///
/// Un instant antérieur à la référence (heure lue ailleurs, un peu plus tôt) compte pour un
/// écoulé nul : il ne déclenche ni re-création ni abandon.
class RepriseConnexion {
 public:
  enum class Decision : std::uint8_t { rien = 0, recreer = 1, abandonner = 2 };

  static constexpr std::uint64_t intervalleTentativesNs = 1'000'000'000;
  static constexpr std::uint64_t abandonNs = 30'000'000'000;

  /// La connexion est trouvée en attente ou en échec à `maintenant`.
  Decision decider(InstantNs maintenant);

  /// La connexion semble saine : rattrape une panne qui ne s'est jamais levée. Ne change rien.
  [[nodiscard]] Decision verifier(InstantNs maintenant) const;

  /// Le lien fonctionne de nouveau ; la prochaine panne repart de zéro.
  void retablie() { enPanneDepuisNs_.reset(); }

 private:
  [[nodiscard]] bool aAbandonner(InstantNs maintenant) const;

  std::optional<InstantNs> enPanneDepuisNs_;
  InstantNs tentativeNs_ = 0;
};

}  // namespace ravlo
