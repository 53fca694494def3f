// SPDX-License-Identifier: MPL-2.0
#include "protocol/lecture/releve_reserve.hpp"

#include <algorithm>

namespace ravlo {

bool ReleveReserve::noter(InstantNs maintenant, double reserveMs) {
  reserveMs_ = reserveMs;
  if (!debutSecondeNs_) debutSecondeNs_ = maintenant;
  if (ecartNs(maintenant, *debutSecondeNs_) < periodeNs) {
    somme_ += reserveMs;
    ++nombre_;
    return false;
  }
  reserveMoyenneMs_ = somme_ / static_cast<double>(std::max<std::int64_t>(nombre_, 1));
  debutSecondeNs_ = maintenant;
  somme_ = reserveMs;
  nombre_ = 1;
  return true;
}

}  // namespace ravlo
