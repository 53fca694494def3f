// SPDX-License-Identifier: MPL-2.0
#include "recepteur/rafales_sortie.hpp"

#include <algorithm>
#include <cmath>

namespace ravlo {

double RafalesSortie::noter(double heureSortieMs, double maintenantMs) {
  if (!std::isfinite(heureSortieMs) || !std::isfinite(maintenantMs)) return excesMs_;
  const double avance = heureSortieMs - maintenantMs;
  if (!debutFenetre_ || maintenantMs - *debutFenetre_ >= fenetreMs ||
      maintenantMs < *debutFenetre_) {
    minPrecedent_ = minCourant_;
    minCourant_.reset();
    debutFenetre_ = maintenantMs;
  }
  minCourant_ = std::min(minCourant_.value_or(avance), avance);
  const double reference = std::min(*minCourant_, minPrecedent_.value_or(*minCourant_));
  const double ecoule = std::max(maintenantMs - excesHeureMs_, 0.0);
  const double garde = excesMs_ * std::exp2(-ecoule / demiVieMs);
  const double exces = avance - reference;
  if (exces > garde && exces < excesMaxMs) {
    excesMs_ = exces;
    excesHeureMs_ = maintenantMs;
    return exces;
  }
  return garde;
}

}  // namespace ravlo
