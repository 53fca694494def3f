#pragma once

#include <atomic>
#include <chrono>

#include "link/plateforme/horloge.hpp"

namespace ravlo::faux {

/// Horloge que le test avance à la main ; les deux horloges avancent ensemble, d'un écart
/// fixe (l'horloge continue part plus loin, comme après une veille ancienne).
class HorlogeManuelle final : public Horloge {
 public:
  explicit HorlogeManuelle(InstantNs hote = 1'000'000'000'000,
                           InstantNs continue_ = 5'000'000'000'000)
      : hote_(hote), ecartContinue_(continue_ - hote) {}

  [[nodiscard]] InstantNs hoteNs() const override { return hote_.load(); }
  [[nodiscard]] InstantNs continueNs() const override { return hote_.load() + ecartContinue_; }

  void avancer(std::chrono::nanoseconds d) { hote_ += static_cast<InstantNs>(d.count()); }

 private:
  std::atomic<InstantNs> hote_;
  InstantNs ecartContinue_;
};

}  // namespace ravlo::faux
