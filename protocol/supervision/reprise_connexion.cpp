// SPDX-License-Identifier: MPL-2.0
#include "protocol/supervision/reprise_connexion.hpp"

namespace ravlo {

bool RepriseConnexion::aAbandonner(InstantNs maintenant) const {
  return enPanneDepuisNs_ &&
         ecartSigneNs(maintenant, *enPanneDepuisNs_) >= static_cast<std::int64_t>(abandonNs);
}

RepriseConnexion::Decision RepriseConnexion::decider(InstantNs maintenant) {
  if (!enPanneDepuisNs_) {
    enPanneDepuisNs_ = maintenant;
    tentativeNs_ = maintenant;
    return Decision::rien;
  }
  if (aAbandonner(maintenant)) return Decision::abandonner;
  if (ecartSigneNs(maintenant, tentativeNs_) < static_cast<std::int64_t>(intervalleTentativesNs)) {
    return Decision::rien;
  }
  tentativeNs_ = maintenant;
  return Decision::recreer;
}

RepriseConnexion::Decision RepriseConnexion::verifier(InstantNs maintenant) const {
  return aAbandonner(maintenant) ? Decision::abandonner : Decision::rien;
}

}  // namespace ravlo
