#pragma once

#include <cstdint>
#include <optional>

namespace ravlo {

/// Enveloppe de la gigue, en ms : monte d'un coup à chaque nouveau pic (plafonné à 80 ms)
/// et, sans nouveau pic, se divise par deux toutes les 30 s. La réserve visée s'en déduit,
/// de sorte qu'elle grandit tout de suite après une mauvaise passe et ne rapetisse que
/// lentement.
///
/// Exemple : une gigue de 120 ms porte l'enveloppe à 80 ; 30 s plus tard, sans nouvelle
/// gigue, elle vaut 40.
struct CibleReserve {
  static constexpr double gigueMaximaleMs = 80.0;
  static constexpr double demiVieS = 30.0;

  double enveloppeGigueMs = 0;

  /// `secondes` : temps écoulé depuis l'ajustement précédent.
  void ajuster(double gigueMs, double secondes);
};

/// Marge fixe ajoutée à la réserve visée, ms.
inline constexpr double margeCibleMs = 35.0;

/// Réserve visée, ms : base + enveloppe de gigue + 35 ms de marge.
[[nodiscard]] constexpr double cibleMs(double baseMs, double enveloppeMs) {
  return baseMs + enveloppeMs + margeCibleMs;
}

/// Base de la réserve, ms : la durée du bloc de rendu (0 s'il n'est pas connu) ou le
/// minimum donné, le plus grand des deux. Exemple : 512 trames et 5 ms → 10,67 ms.
[[nodiscard]] constexpr double baseMs(std::optional<std::int64_t> blocTrames, double minimumMs) {
  const double bloc = blocTrames ? static_cast<double>(*blocTrames) / 48.0 : 0.0;
  return bloc > minimumMs ? bloc : minimumMs;
}

}  // namespace ravlo
