// SPDX-License-Identifier: MPL-2.0
#include "recepteur/limite_code_parle.hpp"

namespace ravlo {

LimiteCodeParle::Issue LimiteCodeParle::demander(InstantNs maintenant, bool codeADonner,
                                                 bool enParole) {
  if (!codeADonner) return Issue::sansCode;
  if (enParole) return Issue::enParole;
  // Signé : une heure qui recule (horloge d'un autre fil) ne rouvre pas la porte.
  if (dernier_ && ecartSigneNs(maintenant, *dernier_) < static_cast<std::int64_t>(intervalleNs))
    return Issue::tropTot;
  dernier_ = maintenant;
  return Issue::dire;
}

}  // namespace ravlo
