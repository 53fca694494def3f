// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/source_diffusion.hpp"

#include <future>

#include "link/capture/capture_systeme.hpp"
#include "link/diffusion/alimentation.hpp"
#include "plateforme/file_serie.hpp"

namespace ravlo {
namespace {

class SourceCapture final : public SourceDiffusion {
 public:
  SourceCapture(std::shared_ptr<TamponAudio> tampon, FabriqueCapture fabrique, bool muet)
      : tampon_(std::move(tampon)), fabrique_(std::move(fabrique)), muet_(muet) {}
  ~SourceCapture() override { arreter(); }

  std::expected<void, ErreurCapture> demarrer() override {
    capture_ = std::make_unique<CaptureSysteme>(tampon_, muet_, fabrique_());
    return capture_->demarrer();
  }
  void arreter() override {
    if (capture_) capture_->arreter();
  }
  std::expected<void, ErreurCapture> relancer() override {
    arreter();
    return demarrer();
  }
  std::int64_t trames() const override { return capture_ ? capture_->livraisons().trames : 0; }
  std::optional<ErreurCapture> panne() const override {
    return capture_ ? capture_->echec() : std::nullopt;
  }
  bool epuisee() const override { return false; }
  float niveau() const override { return capture_ ? capture_->niveauDuBloc() : 0.0F; }
  bool changerSilence(bool muet) override {
    muet_ = muet;
    return capture_ ? capture_->changerSilence(muet) : true;
  }

 private:
  std::shared_ptr<TamponAudio> tampon_;
  FabriqueCapture fabrique_;
  bool muet_;
  std::unique_ptr<CaptureSysteme> capture_;
};

class SourceCadencee final : public SourceDiffusion {
 public:
  SourceCadencee(std::shared_ptr<TamponAudio> tampon, std::shared_ptr<SourceAudio> source,
                 const Horloge& horloge)
      : tampon_(std::move(tampon)), source_(std::move(source)), horloge_(horloge) {}
  ~SourceCadencee() override { arreter(); }

  std::expected<void, ErreurCapture> demarrer() override {
    alimentation_ = std::make_unique<Alimentation>(tampon_, source_, file_, horloge_);
    alimentation_->demarrer();
    return {};
  }
  void arreter() override {
    if (!alimentation_) return;
    alimentation_->arreter();
    // Un versement en cours finit avant que l'alimentation disparaisse.
    std::promise<void> repere;
    file_.poster([&repere] { repere.set_value(); });
    repere.get_future().wait();
    alimentation_.reset();
  }
  std::expected<void, ErreurCapture> relancer() override {
    arreter();
    return demarrer();
  }
  std::int64_t trames() const override { return alimentation_ ? alimentation_->trames() : 0; }
  std::optional<ErreurCapture> panne() const override { return std::nullopt; }
  bool epuisee() const override { return alimentation_ && alimentation_->terminee(); }
  float niveau() const override { return 0.0F; }
  bool changerSilence(bool) override { return true; }

 private:
  std::shared_ptr<TamponAudio> tampon_;
  std::shared_ptr<SourceAudio> source_;
  const Horloge& horloge_;
  FileSerie file_{"ravlo.source"};
  std::unique_ptr<Alimentation> alimentation_;
};

}  // namespace

FabriqueSource sourceCapture(FabriqueCapture capture, bool ordinateurMuet) {
  return [capture = std::move(capture), ordinateurMuet](std::shared_ptr<TamponAudio> tampon) {
    return std::make_unique<SourceCapture>(std::move(tampon), capture, ordinateurMuet);
  };
}

FabriqueSource sourceCadencee(std::shared_ptr<SourceAudio> source, const Horloge& horloge) {
  return [source = std::move(source), &horloge](std::shared_ptr<TamponAudio> tampon) {
    return std::make_unique<SourceCadencee>(std::move(tampon), source, horloge);
  };
}

}  // namespace ravlo
