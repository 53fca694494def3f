// SPDX-License-Identifier: MPL-2.0
#pragma once

namespace ravlo {

/// Régulateur proportionnel-intégral qui change l'écart entre la réserve moyenne et la
/// réserve visée en correction de vitesse de lecture, en ppm : positive quand la file est
/// au-dessus de la cible (lire plus vite), bornée à ±1000 ppm.
///
/// Gains : 40 ppm par ms d'écart, plus 0,04 ppm par ms et par seconde au terme intégral
/// `derivePPM`, qui finit par porter la dérive entre les horloges. Anti-emballement : quand
/// la sortie sature dans le sens de l'écart, l'intégrale ne bouge pas, sans quoi elle
/// grossirait pendant la saturation et dépasserait la cible au retour.
///
/// Un groupe de pièces, qui doit tenir une heure de jeu à la fraction de milliseconde, règle
/// ses propres gains (`gainP`, `gainI`).
///
/// Exemple : réserve 100 ms, cible 90, `derivePPM` 0 → 400,4 ppm et `derivePPM` 0,4.
struct RegulateurVitesse {
  static constexpr double limitePPM = 1000.0;
  static constexpr double gainProportionnel = 40.0;
  static constexpr double gainIntegral = 0.04;

  double derivePPM = 0;
  double gainP = gainProportionnel;
  double gainI = gainIntegral;

  /// `secondes` : durée sur laquelle la réserve a été moyennée.
  double regler(double reserveMs, double cibleMs, double secondes);
};

}  // namespace ravlo
