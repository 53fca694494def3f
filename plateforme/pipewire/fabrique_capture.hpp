// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>
#include <string>

#include "plateforme/capture_audio.hpp"
#include "plateforme/pulseaudio/fichier_etat_silence.hpp"
#include "plateforme/pulseaudio/flux_capture.hpp"

namespace ravlo {

/// Les flux qui portent le son de la capture, selon `RAVLO_CAPTURE` : `pipewire`, ceux de
/// PipeWire ; `auto`, selon le serveur, demandé à chaque flux sur le lien même de
/// `CapturePulse` (boucle déjà verrouillée, aucun second lien à libpulse : un serveur relancé
/// sous l'autre nom est suivi au flux suivant) ; sinon, ceux de libpulse.
[[nodiscard]] FabriqueFluxCapture fabriqueFluxDuServeur();

/// La capture du serveur de son qui tourne, ses flux choisis par `fabriqueFluxDuServeur` ; la
/// sortie par défaut et le silence toujours par libpulse.
[[nodiscard]] std::unique_ptr<CaptureAudio> captureDuServeur(
    std::string repertoireEtat = repertoireEtatParDefaut());

}  // namespace ravlo
