// SPDX-License-Identifier: MPL-2.0
#include "protocol/scellement/fenetre_rejeu.hpp"

#include "protocol/base/exiger.hpp"
#include "protocol/scellement/enveloppe.hpp"

namespace ravlo {

bool FenetreRejeu::admet(std::uint64_t k) const {
  if (!plusHaut_ || k > *plusHaut_) return true;
  const std::uint64_t age = *plusHaut_ - k;
  return age < Enveloppe::tailleFenetre && (vus_ & (std::uint64_t{1} << age)) == 0;
}

bool FenetreRejeu::enregistrer(std::uint64_t k) {
  RAVLO_EXIGER(admet(k));
  if (!plusHaut_) {
    plusHaut_ = k;
    vus_ = 1;
    return true;
  }
  if (k <= *plusHaut_) {
    vus_ |= std::uint64_t{1} << (*plusHaut_ - k);
    return false;
  }
  const std::uint64_t saut = k - *plusHaut_;
  vus_ = saut < Enveloppe::tailleFenetre ? (vus_ << saut) | 1 : 1;
  plusHaut_ = k;
  return true;
}

}  // namespace ravlo
