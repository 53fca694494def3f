// SPDX-License-Identifier: MPL-2.0
#include "link/capture/capture_systeme.hpp"

#include <utility>

#include "protocol/base/exiger.hpp"

namespace ravlo {

CaptureSysteme::CaptureSysteme(std::shared_ptr<TamponAudio> tampon, bool ordinateurMuet,
                               std::unique_ptr<CaptureAudio> capture)
    : niveauDuBloc_(std::make_shared<Cellule<float>>()),
      livraisons_(std::make_shared<Cellule<Livraisons>>()),
      tampon_(std::move(tampon)),
      ordinateurMuet_(ordinateurMuet),
      capture_(std::move(capture)) {
  RAVLO_EXIGER(tampon_ != nullptr && capture_ != nullptr);
}

CaptureSysteme::~CaptureSysteme() {
  arreter();
}

std::expected<void, ErreurCapture> CaptureSysteme::demarrer() {
  // Une capture ne démarre qu'une fois : sa conversion servirait à deux rappels.
  RAVLO_EXIGER(!demarree_ && !conversion_);
  conversion_ = std::make_unique<std::int16_t[]>(valeursConversion);
  demarree_ = true;
  ContexteRappel contexte{
      .livraisons = livraisons_,
      .conversion = std::span<std::int16_t>(conversion_.get(), valeursConversion),
      .niveauDuBloc = niveauDuBloc_,
      .tampon = tampon_,
  };
  return capture_->demarrer(
      [contexte = std::move(contexte)](const BlocCapte& bloc) { traiterBloc(contexte, bloc); },
      ordinateurMuet_);
}

void CaptureSysteme::arreter() {
  if (!demarree_) return;
  capture_->arreter();
  // Seulement maintenant : le rappel, arrêté, n'y touchera plus.
  conversion_.reset();
}

bool CaptureSysteme::changerSilence(bool ordinateurMuet) {
  ordinateurMuet_ = ordinateurMuet;
  if (!demarree_ || !conversion_) return true;
  return capture_->changerSilence(ordinateurMuet).has_value();
}

std::optional<ErreurCapture> CaptureSysteme::echec() const {
  if (!conversion_) return std::nullopt;
  return capture_->panne();
}

}  // namespace ravlo
