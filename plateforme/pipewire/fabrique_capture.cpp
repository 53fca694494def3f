// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pipewire/fabrique_capture.hpp"

#include <cstdlib>
#include <string_view>

#include "plateforme/pipewire/flux_capture_pipewire.hpp"
#include "plateforme/pipewire/sortie_pipewire.hpp"
#include "plateforme/pulseaudio/capture_pulse.hpp"

namespace ravlo {

std::unique_ptr<CaptureAudio> captureDuServeur(std::string repertoireEtat) {
  const char* impose = std::getenv("RAVLO_CAPTURE");  // NOLINT(concurrency-mt-unsafe)
  const std::string_view choix = impose != nullptr ? impose : "";
  const bool pipewire = choix == "pipewire" || (choix != "pulse" && serveurPipewire());
  if (pipewire) {
    return std::make_unique<CapturePulse>(std::move(repertoireEtat), &FluxCapturePipewire::creer);
  }
  return std::make_unique<CapturePulse>(std::move(repertoireEtat));
}

}  // namespace ravlo
