// SPDX-License-Identifier: MPL-2.0
#include "recepteur/rendu_lecture.hpp"

#include <algorithm>
#include <cmath>

namespace ravlo {
namespace {

std::optional<InstantNs> decalee(std::optional<InstantNs> heure, double trames,
                                 double nsParTrame = FileLecture::nsParTrame) {
  if (!heure) return std::nullopt;
  return *heure + static_cast<InstantNs>(std::llround(trames * nsParTrame));
}

}  // namespace

RenduLecture::RenduLecture(std::shared_ptr<FileLecture> lecture, bool reechantillonner,
                           std::int64_t tramesParSecondeSortie)
    : lecture_(std::move(lecture)),
      nsParTrameSortie_(1e9 / static_cast<double>(tramesParSecondeSortie)),
      reechantillonneur_(
          reechantillonner || tramesParSecondeSortie != flux::tramesParSeconde
              ? std::make_unique<Reechantillonneur>(static_cast<double>(tramesParSecondeSortie) /
                                                    static_cast<double>(flux::tramesParSeconde))
              : nullptr) {}

void RenduLecture::fournir(std::span<float> gauche, std::span<float> droite, double sortieTrames) {
  lecture_->tirer(static_cast<std::int64_t>(gauche.size()), gauche, droite,
                  decalee(heureBloc_, sortieTrames, nsParTrameSortie_), true);
}

bool RenduLecture::rendre(std::span<float> entrelace, std::optional<InstantNs> heureNs,
                          bool peutAttendre) {
  const auto trames = static_cast<std::int64_t>(entrelace.size() / 2);
  if (reechantillonneur_) {
    heureBloc_ = heureNs;
    const double rapport = 1.0 / (1.0 + vitessePPM_.load(std::memory_order_relaxed) * 1e-6);
    reechantillonneur_->produire(entrelace.first(static_cast<std::size_t>(2 * trames)), rapport,
                                 *this);
    std::fill(entrelace.begin() + 2 * trames, entrelace.end(), 0.0F);
    // La file compte en trames du flux.
    lecture_->noterBloc(std::llround(static_cast<double>(std::max(trames, blocTire_.value_or(0))) *
                                     nsParTrameSortie_ / FileLecture::nsParTrame));
    return true;
  }
  if (peutAttendre && !lecture_->peutRendre(trames)) return false;
  for (std::int64_t fait = 0; fait < trames;) {
    const std::int64_t n = std::min(trames - fait, tramesParMorceau);
    lecture_->tirer(n, gauche_, droite_, decalee(heureNs, static_cast<double>(fait)), true);
    for (std::int64_t i = 0; i < n; ++i) {
      const auto s = static_cast<std::size_t>(2 * (fait + i));
      entrelace[s] = gauche_[static_cast<std::size_t>(i)];
      entrelace[s + 1] = droite_[static_cast<std::size_t>(i)];
    }
    fait += n;
  }
  lecture_->noterBloc(std::max(trames, blocTire_.value_or(0)));
  return true;
}

}  // namespace ravlo
