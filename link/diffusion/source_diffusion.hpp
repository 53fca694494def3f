// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

#include "link/diffusion/source_audio.hpp"
#include "plateforme/capture_audio.hpp"
#include "plateforme/horloge.hpp"
#include "protocol/audio/tampon_audio.hpp"

namespace ravlo {

/// D'où une diffusion tire son son, écrit dans son anneau avec l'heure de chaque trame : ce
/// que joue l'ordinateur (la capture du système), ou une source versée au rythme du temps
/// réel (un ton, un fichier). Fil principal.
class SourceDiffusion {
 public:
  virtual ~SourceDiffusion() = default;

  [[nodiscard]] virtual std::expected<void, ErreurCapture> demarrer() = 0;
  /// Se rappelle sans effet ; la destruction l'appelle aussi.
  virtual void arreter() = 0;
  /// Défait la source en cours et en démarre une neuve sur le même anneau.
  [[nodiscard]] virtual std::expected<void, ErreurCapture> relancer() = 0;

  /// Trames livrées depuis le dernier démarrage : une source vivante les fait avancer.
  [[nodiscard]] virtual std::int64_t trames() const = 0;
  /// La panne qui l'a arrêtée pour de bon ; absente tant qu'elle livre.
  [[nodiscard]] virtual std::optional<ErreurCapture> panne() const = 0;
  /// Plus rien à livrer (un fichier arrivé à sa fin).
  [[nodiscard]] virtual bool epuisee() const = 0;
  /// Niveau (RMS, 0 à 1) du dernier bloc livré.
  [[nodiscard]] virtual float niveau() const = 0;
  /// Faux si le serveur de son refuse ; le choix est retenu pour les relances.
  virtual bool changerSilence(bool ordinateurMuet) = 0;
};

/// Crée la source d'une diffusion sur son anneau.
using FabriqueSource =
    std::function<std::unique_ptr<SourceDiffusion>(std::shared_ptr<TamponAudio>)>;

/// Ce que joue l'ordinateur, par une capture neuve de `capture` à chaque démarrage.
[[nodiscard]] FabriqueSource sourceCapture(FabriqueCapture capture, bool ordinateurMuet);

/// `source` versée au rythme de `horloge` depuis une file à elle (« ravlo.source ») ; une
/// relance la reprend où elle en était.
[[nodiscard]] FabriqueSource sourceCadencee(std::shared_ptr<SourceAudio> source,
                                            const Horloge& horloge);

}  // namespace ravlo
