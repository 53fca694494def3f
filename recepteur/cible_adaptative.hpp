// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"
#include "protocol/lecture/latence_sortie.hpp"

namespace ravlo {

/// Réserve visée de la file de lecture, apprise des retards d'arrivée.
///
/// Le retard d'un paquet est son transit (arrivée locale moins sa place dans le flux :
/// numéro × durée d'un paquet) moins le plus petit transit des 2 à 4 dernières secondes :
/// l'origine du flux n'est pas reliée à l'horloge locale, mais elle s'annule dans la
/// différence. Quand ce plus petit transit remonte, les retards déjà notés descendent
/// d'autant. Les retards
/// remplissent un histogramme de cases d'une milliseconde dont chaque paquet oublie 0,07 %
/// (une mémoire d'une dizaine de secondes) ; la cible en est le 99,5ᵉ centile, plus le bloc du
/// rendu, plus 2 ms de marge. Un paquet arrivé trop tard ou une file à sec relèvent tout de
/// suite un plancher vers le retard qu'il aurait fallu tenir (au plus le double du retard
/// couvert plus 5 ms à chaque fois), qui se divise par deux toutes les 20 s : la cible monte
/// d'un coup et ne redescend que lentement. Un retard de plus de
/// 120 ms n'est pas de la gigue à couvrir mais une coupure, ou le récepteur lui-même arrêté :
/// le masquage et le rattrapage de la file s'en chargent, il ne compte pas.
///
/// Exemple : des retards répartis de 0 à 10 ms et un bloc de 5 ms donnent une cible de
/// 10 + 5 + 2 = 17 ms ; sur une boucle locale propre (retards de 0 à 1 ms), 8 ms.
class CibleAdaptative {
 public:
  static constexpr std::size_t cases = 120;  ///< retards couverts jusqu'à 120 ms
  static constexpr double oubli = 0.9993;
  static constexpr double centile = 0.995;
  static constexpr double margeMs = 2.0;
  static constexpr double demiViePlancherS = 20.0;
  static constexpr double monteeMinimaleMs = 5.0;  ///< voir `relever`
  static constexpr std::uint64_t fenetreNs = 2'000'000'000;
  static constexpr std::uint64_t sautRedemarrageNs = 2'000'000'000;
  /// Des relevés moins espacés viennent du même arrêt (voir `relever`) : la même fenêtre que
  /// les sous-alimentations d'une sortie.
  static constexpr std::uint64_t memeAccrocNs = LatenceSortie::memeAccrocNs;

  /// Un paquet arrivé à `arriveeNs` (horloge locale), à la place `fluxNs` dans le flux
  /// (en ns, d'une origine quelconque, modulo 2⁶⁴) ; rend son retard, ms.
  double noter(InstantNs fluxNs, InstantNs arriveeNs);

  /// Il aurait fallu tenir `retardMs` : la cible le couvre aussitôt, jusqu'au double du
  /// retard couvert plus 5 ms. Exemple : 1 ms couverte, un paquet en retard de 30 ms porte la
  /// couverture à 7 ms ; s'il se répète, à 19 puis 30. Les relevés à moins de 400 ms du
  /// premier d'un arrêt n'en sont pas des répétitions : la couverture reste à 7 ms.
  void relever(double retardMs, InstantNs maintenant);

  /// Le retard à couvrir, ms : le centile ou le plancher, le plus grand ; absent avant tout
  /// paquet.
  [[nodiscard]] std::optional<double> retardMs(InstantNs maintenant) const;

  /// La cible, ms : le retard à couvrir, le bloc du rendu et la marge.
  [[nodiscard]] std::optional<double> cibleMs(double blocMs, InstantNs maintenant) const;

 private:
  [[nodiscard]] std::optional<std::int64_t> reference() const;
  /// Le plancher du moment, diminué de moitié toutes les 20 s.
  [[nodiscard]] double plancher(InstantNs maintenant) const;
  /// Les retards notés et le plancher, relus contre une référence plus haute de `ms`.
  void descendre(double ms, InstantNs maintenant);

  std::array<double, cases> histogramme_{};
  double reportMs_ = 0;  ///< ce qui reste à décaler, moins d'une case
  double poids_ = 0;
  std::optional<InstantNs> debutFenetre_;
  std::optional<std::int64_t> minCourant_;
  std::optional<std::int64_t> minPrecedent_;
  double plancherMs_ = 0;
  InstantNs plancherNs_ = 0;
  std::optional<InstantNs> accrocNs_;  ///< le premier relevé du dernier arrêt
  double couvertAvantAccrocMs_ = 0;
};

}  // namespace ravlo
