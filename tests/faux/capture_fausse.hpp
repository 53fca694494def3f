// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "plateforme/capture_audio.hpp"

namespace ravlo::faux {

/// Le serveur de son joué par le test, et les captures que crée sa `fabrique()`. Aussi rude
/// que le vrai : chaque opération échoue quand `script` le dit, un bloc peut tomber sur le
/// fil appelant avant même que `demarrer` rende (`blocAuDemarrage`), et `livrer` joue le
/// fil du serveur depuis n'importe quel fil, tant qu'une capture tourne. `arreter` attend
/// qu'un rappel en cours finisse, comme le vrai.
class SonFaux : public std::enable_shared_from_this<SonFaux> {
 public:
  struct Script {
    std::optional<ErreurCapture> demarrer, silence;
    std::vector<float> blocAuDemarrage;
  };

  Script script;
  /// "demarrer", "demarrer muet", "silence 0|1", "arreter", dans l'ordre.
  std::vector<std::string> journal;
  bool muet = false;  ///< le silence de la capture qui tourne

  [[nodiscard]] FabriqueCapture fabrique() {
    return [soi = shared_from_this()]() -> std::unique_ptr<CaptureAudio> {
      return std::make_unique<Capture>(soi);
    };
  }

  /// Vrai si le rappel a tourné.
  bool livrer(const BlocCapte& bloc) {
    const std::lock_guard garde(verrou_);
    if (!rappel_) return false;
    rappel_(bloc);
    return true;
  }
  [[nodiscard]] bool demarree() const {
    const std::lock_guard garde(verrou_);
    return static_cast<bool>(rappel_);
  }
  /// La panne que rend la capture qui tourne (nulle : elle capte).
  void tomberEnPanne(std::optional<ErreurCapture> panne) {
    const std::lock_guard garde(verrou_);
    panne_ = panne;
  }

 private:
  class Capture final : public CaptureAudio {
   public:
    explicit Capture(std::shared_ptr<SonFaux> son) : son_(std::move(son)) {}
    ~Capture() override { arreter(); }

    std::expected<void, ErreurCapture> demarrer(RappelCapture rappel, bool muette) override {
      son_->journal.push_back(muette ? "demarrer muet" : "demarrer");
      if (son_->script.demarrer) return std::unexpected(*son_->script.demarrer);
      {
        const std::lock_guard garde(son_->verrou_);
        son_->rappel_ = std::move(rappel);
        son_->proprietaire_ = this;
        son_->panne_.reset();
      }
      son_->muet = muette;
      if (!son_->script.blocAuDemarrage.empty())
        son_->livrer(BlocCapte{son_->script.blocAuDemarrage, 0, std::nullopt});
      return {};
    }
    std::expected<void, ErreurCapture> changerSilence(bool muette) override {
      son_->journal.push_back(muette ? "silence 1" : "silence 0");
      if (son_->script.silence) return std::unexpected(*son_->script.silence);
      const std::lock_guard garde(son_->verrou_);
      if (son_->proprietaire_ == this) son_->muet = muette;
      return {};
    }
    void arreter() override {
      const std::lock_guard garde(son_->verrou_);
      if (son_->proprietaire_ != this) return;
      son_->journal.push_back("arreter");
      son_->rappel_ = nullptr;
      son_->proprietaire_ = nullptr;
    }
    std::optional<ErreurCapture> panne() const override {
      const std::lock_guard garde(son_->verrou_);
      return son_->proprietaire_ == this ? son_->panne_ : std::nullopt;
    }

   private:
    std::shared_ptr<SonFaux> son_;
  };

  mutable std::mutex verrou_;
  RappelCapture rappel_;
  const CaptureAudio* proprietaire_ = nullptr;  // la capture qui tourne
  std::optional<ErreurCapture> panne_;
};

}  // namespace ravlo::faux
