// SPDX-License-Identifier: MPL-2.0
#include "recepteur/politique_appairage.hpp"

#include <algorithm>

namespace ravlo {

std::uint64_t PolitiqueAppairage::pauseApres(int n) {
  if (n <= echecsLibres) return 0;
  // Au-delà de 8 doublements la pause a déjà atteint son plafond.
  const int doublements = std::min(n - echecsLibres - 1, 8);
  return std::min(premierePauseNs << doublements, pauseMaxNs);
}

int PolitiqueAppairage::echecsRetenus(InstantNs maintenant) const {
  if (echecs_ == 0) return 0;
  const std::uint64_t pardons = ecartNs(maintenant, dernierEchec_) / pardonNs;
  return pardons >= static_cast<std::uint64_t>(echecs_) ? 0 : echecs_ - static_cast<int>(pardons);
}

void PolitiqueAppairage::noterEchec(InstantNs maintenant) {
  echecs_ = echecsRetenus(maintenant) + 1;
  dernierEchec_ = maintenant;
}

std::uint64_t PolitiqueAppairage::pauseRestanteNs(InstantNs maintenant) const {
  const std::uint64_t pause = pauseApres(echecs_);
  const std::uint64_t ecoule = ecartNs(maintenant, dernierEchec_);
  return ecoule >= pause ? 0 : pause - ecoule;
}

}  // namespace ravlo
