// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "plateforme/capture_audio.hpp"
#include "plateforme/pulseaudio/statut_pulse.hpp"

namespace ravlo {

class ContextePulse;

/// Un flux d'enregistrement sur le moniteur d'une sortie, tel que `CapturePulse` le pilote :
/// relié une fois, jamais déplacé par le serveur (suivre une autre sortie, c'est en relier un
/// neuf), muet tant qu'il ne porte pas le rappel. Boucle de `ContextePulse` verrouillée pour
/// tout appel, sauf `echec()`.
class FluxCapture {
 public:
  virtual ~FluxCapture() = default;

  /// Relie le flux au moniteur `source` (« sortie.monitor ») et attend qu'il soit prêt.
  virtual StatutPulse connecter(const std::string& source) = 0;
  /// Rappel appelé pour chaque morceau ; nul : plus aucun appel dès le retour.
  virtual void installer(const RappelCapture* rappel) = 0;
  virtual StatutPulse reprendre() = 0;
  /// Le moniteur donné à `connecter`.
  [[nodiscard]] virtual const std::string& source() const = 0;
  /// 0, ou le code (PA_ERR_*) du flux que le serveur a tué. Sûr depuis n'importe quel fil.
  [[nodiscard]] virtual StatutPulse echec() const = 0;
};

/// Crée un flux non relié, nommé `nom` pour le serveur.
using FabriqueFluxCapture = std::function<ResultatPulse<std::unique_ptr<FluxCapture>>(
    ContextePulse& contexte, const std::string& nom)>;

}  // namespace ravlo
