// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "plateforme/planification_temps_reel.hpp"

namespace ravlo::essai {

/// Répond ce qu'on lui a dit et retient pour quels fils on l'a demandé.
class PlanificationFactice final : public PlanificationTempsReel {
 public:
  explicit PlanificationFactice(std::optional<RefusTempsReel> reponse = std::nullopt)
      : reponse_(reponse) {}
  std::optional<RefusTempsReel> rendreTempsReel(pid_t tid) override {
    const std::lock_guard garde(verrou_);
    fils_.push_back(tid);
    return reponse_;
  }
  [[nodiscard]] std::vector<pid_t> fils() const {
    const std::lock_guard garde(verrou_);
    return fils_;
  }

 private:
  const std::optional<RefusTempsReel> reponse_;
  mutable std::mutex verrou_;
  std::vector<pid_t> fils_;
};

}  // namespace ravlo::essai
