// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "link/capture/cellule.hpp"
#include "plateforme/capture_audio.hpp"
#include "protocol/audio/tampon_audio.hpp"

namespace ravlo {

/// Rappels reçus et trames livrées depuis le démarrage d'une capture.
struct Livraisons {
  std::int64_t rappels = 0;
  std::int64_t trames = 0;

  bool operator==(const Livraisons&) const = default;
};

/// Ce que le rappel de capture lit : copié au démarrage, rien d'autre de la capture.
struct ContexteRappel {
  std::shared_ptr<Cellule<Livraisons>> livraisons;
  /// Tampon de conversion (vide : absent), alloué avant le démarrage et libéré après l'arrêt.
  std::span<std::int16_t> conversion;
  std::shared_ptr<Cellule<float>> niveauDuBloc;
  std::shared_ptr<TamponAudio> tampon;
};

/// Un bloc de capture : compte le rappel et ses trames, convertit en 16 bits stéréo par
/// morceaux de la taille de `conversion`, mesure le niveau (RMS de 0 à 1, pleine échelle
/// 32 768) et écrit les trames dans l'anneau avec leur heure de capture. Un trou est compté
/// puis sauté. N'alloue rien.
void traiterBloc(const ContexteRappel& contexte, const BlocCapte& bloc);

}  // namespace ravlo
