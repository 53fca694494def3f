#include "recepteur/rendu_lecture.hpp"

#include <samplerate.h>

#include <algorithm>
#include <stdexcept>

namespace ravlo {

RenduLecture::RenduLecture(std::shared_ptr<FileLecture> lecture, bool reechantillonner)
    : lecture_(std::move(lecture)) {
  if (!reechantillonner) return;
  int erreur = 0;
  convertisseur_ = src_callback_new(&RenduLecture::fournir, SRC_SINC_FASTEST, 2, &erreur, this);
  if (convertisseur_ == nullptr) throw std::runtime_error(src_strerror(erreur));
}

RenduLecture::~RenduLecture() {
  if (convertisseur_ != nullptr) src_delete(convertisseur_);
}

std::int64_t RenduLecture::tirer(std::int64_t trames, std::optional<InstantNs> heureNs) {
  const std::int64_t n = std::min(trames, tramesParMorceau);
  lecture_->tirer(n, gauche_, droite_, heureNs);
  for (std::int64_t i = 0; i < n; ++i) {
    entree_[static_cast<std::size_t>(2 * i)] = gauche_[static_cast<std::size_t>(i)];
    entree_[static_cast<std::size_t>(2 * i + 1)] = droite_[static_cast<std::size_t>(i)];
  }
  return n;
}

long RenduLecture::fournir(void* moi, float** donnees) {
  auto* rendu = static_cast<RenduLecture*>(moi);
  const std::int64_t n = rendu->tirer(tramesParMorceau, rendu->heureMorceau_);
  rendu->heureMorceau_.reset();
  *donnees = rendu->entree_.data();
  return static_cast<long>(n);
}

bool RenduLecture::rendre(std::span<float> entrelace, std::optional<InstantNs> heureNs,
                          bool peutAttendre) {
  const auto trames = static_cast<std::int64_t>(entrelace.size() / 2);
  if (convertisseur_ == nullptr) {
    if (peutAttendre && !lecture_->peutRendre(trames)) return false;
    for (std::int64_t fait = 0; fait < trames;) {
      const std::int64_t n = tirer(trames - fait, fait == 0 ? heureNs : std::nullopt);
      std::copy_n(entree_.begin(), 2 * n, entrelace.begin() + 2 * fait);
      fait += n;
    }
    lecture_->noterBloc(trames);
    return true;
  }
  heureMorceau_ = heureNs;
  const double ratio = 1.0 / (1.0 + vitessePPM_.load(std::memory_order_relaxed) * 1e-6);
  const long faits =
      std::max(0L, src_callback_read(convertisseur_, ratio, trames, entrelace.data()));
  std::fill(entrelace.begin() + 2 * faits, entrelace.end(), 0.0F);
  lecture_->noterBloc(trames);
  return true;
}

}  // namespace ravlo
