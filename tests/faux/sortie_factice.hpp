#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "link/plateforme/sortie_audio.hpp"

namespace ravlo::test {

/// Une sortie aussi rude qu'un serveur de son : un premier rendu dans `demarrer` même, avant
/// le retour, puis des blocs de tailles changeantes (1 à 2048 trames), avec ou sans heure,
/// sur un fil à elle. Son coupé et panne se règlent depuis le test.
class SortieFactice final : public SortieAudio {
 public:
  ~SortieFactice() override { arreter(); }

  std::optional<std::string> demarrer(RappelRendu rappel) override {
    rappel_ = std::move(rappel);
    rendre(441, std::nullopt);
    fil_ = std::thread([this] {
      for (std::size_t i = 0; !arret_; ++i) {
        rendre(1 + (i * 397) % 2048, i % 3 == 0 ? std::nullopt : std::optional<InstantNs>(i));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
    return std::nullopt;
  }
  void arreter() override {
    arret_ = true;
    if (fil_.joinable()) fil_.join();
  }
  bool sonCoupe() override { return coupe; }
  std::optional<std::string> panne() override {
    std::lock_guard garde(mutex_);
    return panne_;
  }
  void tomberEnPanne(std::string raison) {
    std::lock_guard garde(mutex_);
    panne_ = std::move(raison);
  }

  std::atomic<bool> coupe{false};
  std::atomic<std::int64_t> rendus{0};

 private:
  void rendre(std::size_t trames, std::optional<InstantNs> heure) {
    bloc_.assign(2 * trames, 1.0F);
    rappel_(bloc_, heure);
    ++rendus;
  }

  RappelRendu rappel_;
  std::vector<float> bloc_;
  std::thread fil_;
  std::atomic<bool> arret_{false};
  std::mutex mutex_;
  std::optional<std::string> panne_;
};

}  // namespace ravlo::test
