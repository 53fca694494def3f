#include "protocol/lecture/cible_reserve.hpp"

#include <algorithm>
#include <cmath>

namespace ravlo {

void CibleReserve::ajuster(double gigueMs, double secondes) {
  enveloppeGigueMs = std::max(std::min(gigueMs, gigueMaximaleMs),
                              std::exp2(-secondes / demiVieS) * enveloppeGigueMs);
}

}  // namespace ravlo
