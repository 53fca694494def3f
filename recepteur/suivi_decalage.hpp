// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "protocol/base/instant.hpp"
#include "protocol/lecture/synchro_horloges.hpp"

namespace ravlo {

/// Le décalage d'horloges (émetteur moins local) du récepteur : le pilote y règle l'heure de
/// jeu, et les latences rapportées s'y lisent.
///
/// `SynchroHorloges` ne garde que ses 8 derniers échanges : sous 10 ms de gigue, le meilleur
/// d'entre eux se trompe encore d'1 à 2 ms (il faut que l'aller et le retour soient prompts à
/// la fois), et deux horloges à 100 ppm l'une de l'autre s'écartent d'0,5 ms pendant ses 5 s de
/// fraîcheur. Ici, les échanges des 30 dernières secondes sont pris sens par sens : l'aller vu
/// d'ici est le décalage plus son délai, le retour son délai moins le décalage. La gigue ne fait
/// que retarder : le bas de chaque nuage est le délai sans attente, une droite qui suit la
/// dérive (au plus ±1000 ppm) ; la demi-différence des deux, lue à l'instant demandé, est le
/// décalage. Il suffit qu'un aller, et ailleurs un retour, aient été prompts. Tant que les
/// échanges couvrent moins de 5 s, le bas de chaque nuage est plat.
///
/// Comme `SynchroHorloges` : rien sans échange de moins de 5 s, et un saut de plus de 2 s
/// (le pair a redémarré) oublie le reste. Les délais les plus courts des deux sens sont pris
/// égaux, comme partout où l'on échange des heures.
class SuiviDecalage {
 public:
  static constexpr std::uint64_t fenetreNs = 30'000'000'000;
  /// Une question toutes les 200 ms en remplit 150 ; au-delà, un pair trop bavard.
  static constexpr std::size_t gardesMax = 256;
  static constexpr std::uint64_t etendueDroiteNs = 5'000'000'000;
  static constexpr double deriveMax = 1e-3;

  void noter(const SynchroHorloges::Echange& echange);
  [[nodiscard]] std::optional<std::int64_t> decalageNs(InstantNs maintenant) const;
  /// Un instant de l'émetteur dans l'horloge locale, modulo 2⁶⁴ ; absent sans décalage.
  [[nodiscard]] std::optional<InstantNs> heureLocale(InstantNs deDistante,
                                                     InstantNs maintenant) const {
    const auto d = decalageNs(maintenant);
    if (!d) return std::nullopt;
    return deDistante - static_cast<std::uint64_t>(*d);
  }
  void oublier() { echanges_.clear(); }

 private:
  std::deque<SynchroHorloges::Echange> echanges_;  ///< par heure d'arrivée
};

}  // namespace ravlo
