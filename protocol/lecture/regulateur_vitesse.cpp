// SPDX-License-Identifier: MPL-2.0
#include "protocol/lecture/regulateur_vitesse.hpp"

#include <algorithm>
#include <cmath>

namespace ravlo {

double RegulateurVitesse::regler(double reserveMs, double cibleMs, double secondes) {
  const double e = reserveMs - cibleMs;
  const double p = gainP * e;
  const double i = derivePPM + secondes * gainI * e;
  const bool satureDansLeSensDeLEcart = std::abs(p + i) > limitePPM && (e > 0) == (p + i > 0);
  if (!satureDansLeSensDeLEcart) derivePPM = std::clamp(i, -limitePPM, limitePPM);
  return std::clamp(p + derivePPM, -limitePPM, limitePPM);
}

}  // namespace ravlo
