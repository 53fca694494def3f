// SPDX-License-Identifier: MPL-2.0
#include "protocol/lecture/latence_sortie.hpp"

#include <algorithm>

namespace ravlo {

std::optional<std::uint32_t> LatenceSortie::sousAlimentation(InstantNs maintenant) {
  // La suite d'un même accroc : le pas demandé n'a peut-être pas encore pris effet.
  if (monteeNs_ && ecartSigneNs(maintenant, *monteeNs_) < static_cast<std::int64_t>(memeAccrocNs)) {
    return std::nullopt;
  }
  if (descenteNs_ &&
      ecartSigneNs(maintenant, *descenteNs_) < static_cast<std::int64_t>(attenteNs_)) {
    attenteNs_ = std::min(attenteNs_ * 2, reglages_.attenteNs * 16);
  }
  descenteNs_.reset();
  depuisNs_ = maintenant;
  if (latenceUs_ >= reglages_.maxUs) return std::nullopt;
  latenceUs_ = std::min(latenceUs_ + reglages_.pasUs, reglages_.maxUs);
  monteeNs_ = maintenant;
  return latenceUs_;
}

std::optional<std::uint32_t> LatenceSortie::noter(InstantNs maintenant) {
  if (latenceUs_ <= reglages_.departUs || !depuisNs_) return std::nullopt;
  if (ecartSigneNs(maintenant, *depuisNs_) < static_cast<std::int64_t>(attenteNs_)) {
    return std::nullopt;
  }
  latenceUs_ = std::max(latenceUs_ - reglages_.pasUs, reglages_.departUs);
  depuisNs_ = maintenant;
  descenteNs_ = maintenant;
  return latenceUs_;
}

}  // namespace ravlo
