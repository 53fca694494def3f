// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>

#include "recepteur/casiers_lecture.hpp"

namespace ravlo {

/// De quoi trouver la phase d'un son de 250 Hz et plus : ±2 ms.
inline constexpr std::int64_t ecartPhaseMax = 96;

/// Le saut de `saut` trames depuis `tete` (au plus `plafond`), écarté d'au plus
/// `ecartPhaseMax` vers l'arrivée qui ressemble le plus à ce qui suivrait la tête
/// (corrélation normée sur la durée d'un fondu) ; à ressemblance égale, le plus près du saut
/// demandé. Sans quoi deux morceaux d'un son tenu en opposition de phase s'annulent au milieu
/// du fondu. `tramesPaquet` : la taille des casiers pour compter les positions.
[[nodiscard]] std::int64_t sautEnPhase(const CasiersLecture& casiers, CasiersLecture::Position tete,
                                       std::int64_t tramesPaquet, std::int64_t saut,
                                       std::int64_t plafond);

/// La tête avancée de `trames`, dans des casiers de `tramesPaquet` trames.
[[nodiscard]] inline CasiersLecture::Position apres(CasiersLecture::Position tete,
                                                    std::int64_t trames,
                                                    std::int64_t tramesPaquet) {
  const std::int64_t total = tete.decalage + trames;
  return {tete.casier + static_cast<std::uint32_t>(total / tramesPaquet), total % tramesPaquet};
}

}  // namespace ravlo
