// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pipewire/fabrique_capture.hpp"

#include <cstdlib>
#include <string_view>

#include "plateforme/pipewire/flux_capture_pipewire.hpp"
#include "plateforme/pulseaudio/capture_pulse.hpp"
#include "plateforme/pulseaudio/flux_capture_pulse.hpp"
#include "plateforme/pulseaudio/requetes_pulse.hpp"

namespace ravlo {
namespace {

// Appelée boucle verrouillée, lien prêt : une question de plus au serveur, à la création d'un
// flux seulement.
ResultatPulse<std::unique_ptr<FluxCapture>> fluxSelonServeur(ContextePulse& contexte,
                                                             const std::string& nom) {
  const auto serveur = requetesPulse::nomServeur(contexte);
  if (serveur.statut == 0 && serveur.valeur.find("PipeWire") != std::string::npos) {
    return FluxCapturePipewire::creer(contexte, nom);
  }
  return FluxCapturePulse::creer(contexte, nom);
}

}  // namespace

FabriqueFluxCapture fabriqueFluxDuServeur() {
  const char* impose = std::getenv("RAVLO_CAPTURE");  // NOLINT(concurrency-mt-unsafe)
  const std::string_view choix = impose != nullptr ? impose : "";
  if (choix == "pipewire") return &FluxCapturePipewire::creer;
  if (choix == "auto") return &fluxSelonServeur;
  // Par libpulse tant que le flux natif date mal un bloc sur quelques centaines (un quantum
  // trop tard, puis de retour) et ne coûte pas moins de processeur.
  return &FluxCapturePulse::creer;
}

std::unique_ptr<CaptureAudio> captureDuServeur(std::string repertoireEtat) {
  return std::make_unique<CapturePulse>(std::move(repertoireEtat), fabriqueFluxDuServeur());
}

}  // namespace ravlo
