#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "protocol/base/instant.hpp"
#include "protocol/lecture/synchro_horloges.hpp"

namespace ravlo {

/// Le décalage d'horloges (émetteur moins local) sur lequel le pilote règle l'heure de jeu.
///
/// `SynchroHorloges` ne garde que ses 8 derniers échanges : sous 10 ms de gigue, le meilleur
/// d'entre eux se trompe encore d'1 à 2 ms (l'aller et le retour ne traînent pas autant), et
/// deux horloges à 100 ppm l'une de l'autre s'écartent d'0,5 ms pendant ses 5 s de fraîcheur.
/// Ici, les échanges des 30 dernières secondes sont ajustés d'une droite (le décalage et sa
/// dérive, au plus ±1000 ppm), lue à l'instant demandé ; chacun pèse l'inverse du carré de
/// son incertitude, la moitié de ce que son aller-retour a de trop sur le meilleur (plus
/// 0,25 ms). Tant qu'ils couvrent moins de 5 s, leur moyenne pondérée seule.
///
/// Comme `SynchroHorloges` : rien sans échange de moins de 5 s, et un saut de plus de 2 s
/// (le pair a redémarré) oublie le reste.
class SuiviDecalage {
 public:
  static constexpr std::uint64_t fenetreNs = 30'000'000'000;
  static constexpr double incertitudePlancherNs = 250'000;
  /// Une question toutes les 200 ms en remplit 150 ; au-delà, un pair trop bavard.
  static constexpr std::size_t gardesMax = 256;
  static constexpr std::uint64_t etendueDroiteNs = 5'000'000'000;
  static constexpr double deriveMax = 1e-3;

  void noter(const SynchroHorloges::Echange& echange);
  [[nodiscard]] std::optional<std::int64_t> decalageNs(InstantNs maintenant) const;
  void oublier() { echanges_.clear(); }

 private:
  std::deque<SynchroHorloges::Echange> echanges_;  ///< par heure d'arrivée
};

}  // namespace ravlo
