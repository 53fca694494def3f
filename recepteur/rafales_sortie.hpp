// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>

namespace ravlo {

/// Une sortie qui tire ses blocs par rafales (le fil principal d'une page : plusieurs blocs
/// d'affilée, puis rien) avance la tête de toute la rafale d'un coup ; la file doit la
/// couvrir, pas un seul bloc. L'avance d'un tirage est son heure de sortie moins l'heure où
/// il est fait ; son excès sur la plus petite des 2 à 4 dernières secondes est ce que la
/// rafale prend en plus du bloc. Le plus grand excès vu se garde, diminué de moitié toutes
/// les 20 s, comme le plancher de la cible.
///
/// Exemple : des blocs de 11,6 ms tirés deux par deux toutes les 23,2 ms : le second a
/// 11,6 ms d'avance de plus que le premier, la rafale prend 11,6 ms en plus du bloc.
class RafalesSortie {
 public:
  static constexpr double fenetreMs = 2'000;
  static constexpr double demiVieMs = 20'000;
  /// Une avance plus grande d'autant n'est pas une rafale mais une sortie qui a changé.
  static constexpr double excesMaxMs = 200;

  /// Un tirage fait à `maintenantMs`, dont la première trame sortira à `heureSortieMs` ;
  /// rend ce que la rafale prend en plus du bloc, ms.
  double noter(double heureSortieMs, double maintenantMs);

 private:
  std::optional<double> debutFenetre_;
  std::optional<double> minCourant_;
  std::optional<double> minPrecedent_;
  double excesMs_ = 0;
  double excesHeureMs_ = 0;
};

}  // namespace ravlo
