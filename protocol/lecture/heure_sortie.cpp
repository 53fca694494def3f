// SPDX-License-Identifier: MPL-2.0
#include "protocol/lecture/heure_sortie.hpp"

#include "protocol/audio/tampon_audio.hpp"

namespace ravlo {

void HeureSortie::noter(const Releve& releve) {
  // Une réponse en route pendant le trou décrit la sortie d'avant.
  if (releve.heureNs < rompuNs_) return;
  if (releve.joue) {
    releve_ = releve;
  } else {
    // Il joue dès qu'il est rempli : redemander sans attendre l'intervalle.
    releve_.reset();
    demandeNs_.reset();
  }
}

void HeureSortie::rompre(InstantNs maintenant) {
  rompuNs_ = maintenant;
  releve_.reset();
  demandeNs_.reset();
}

std::optional<InstantNs> HeureSortie::heure(std::int64_t trame) const {
  if (!releve_) return std::nullopt;
  const std::int64_t ecartNs =
      TamponAudio::dureeNs((trame - releve_->trameLue) * TamponAudio::octetsParTrame);
  return releve_->heureNs + static_cast<InstantNs>(releve_->retardNs + ecartNs);
}

bool HeureSortie::aDemander(InstantNs maintenant) {
  if (demandeNs_ && maintenant - *demandeNs_ < intervalleNs) return false;
  demandeNs_ = maintenant;
  return true;
}

}  // namespace ravlo
