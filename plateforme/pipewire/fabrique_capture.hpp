// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>
#include <string>

#include "plateforme/capture_audio.hpp"
#include "plateforme/pulseaudio/fichier_etat_silence.hpp"

namespace ravlo {

/// La capture du serveur de son qui tourne : sur PipeWire, le son passe par ses propres flux
/// (`FluxCapturePipewire`), la sortie par défaut et le silence toujours par le serveur
/// PulseAudio de PipeWire ; ailleurs, tout par libpulse. `RAVLO_CAPTURE=pulse` ou
/// `pipewire` impose l'un ou l'autre (essais, mesures). Lu à chaque capture : un serveur
/// relancé sous l'autre nom est suivi.
[[nodiscard]] std::unique_ptr<CaptureAudio> captureDuServeur(
    std::string repertoireEtat = repertoireEtatParDefaut());

}  // namespace ravlo
