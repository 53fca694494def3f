// SPDX-License-Identifier: MPL-2.0
#pragma once

namespace ravlo {

/// L'échéance d'une tâche périodique qui suit `precedente` : la suivante de la grille
/// `precedente + k × periode` qui soit encore à venir. Après un blocage, les périodes
/// manquées sont sautées au lieu de se rattraper en rafale, sans que la grille dérive.
///
/// Exemple : période 200 ms, précédente à 1 000 ms, maintenant 1 950 ms → 2 000 ms (et non
/// 1 200, 1 400… tirées d'affilée).
template <class Instant, class Duree>
[[nodiscard]] Instant echeanceSuivante(Instant precedente, Duree periode, Instant maintenant) {
  Instant prochaine = precedente + periode;
  if (prochaine <= maintenant) prochaine += ((maintenant - prochaine) / periode + 1) * periode;
  return prochaine;
}

}  // namespace ravlo
