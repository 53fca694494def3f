// SPDX-License-Identifier: MPL-2.0
#include "link/app/ticker_niveau.hpp"

namespace ravlo {

void TickerNiveau::relancer() {
  arreter();
  if (!diffusion_->enDiffusion()) return;
  // La minuterie meurt avec le relevé : le tir n'a pas besoin de le tenir.
  minuterie_ = principal_.repeter(periode, std::chrono::milliseconds(10), [this] { relever(); });
}

void TickerNiveau::arreter() {
  if (minuterie_) minuterie_->annuler();
  minuterie_.reset();
}

void TickerNiveau::relever() {
  if (!diffusion_->enDiffusion()) {
    // Le tir en cours appartient à la minuterie : on ne la détruit pas sous lui.
    if (minuterie_) minuterie_->annuler();
    return;
  }
  saisie_->ajouterNiveau(diffusion_->niveauDuBloc());
}

}  // namespace ravlo
