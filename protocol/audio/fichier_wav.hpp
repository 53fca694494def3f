// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "protocol/base/octets.hpp"

namespace ravlo {

enum class ErreurWav : std::uint8_t {
  pasUnWav,        ///< pas d'en-tête RIFF/WAVE
  formatAbsent,    ///< pas de bloc « fmt » complet avant les données
  pasDuPCM,        ///< compressé ou flottant
  mauvaisFormat,   ///< autre chose que le format du flux (`flux::`)
  donneesAbsentes  ///< pas de bloc « data »
};

/// La phrase pour l'utilisateur, traduite pour `locale`.
[[nodiscard]] std::string texte(ErreurWav erreur, std::string_view locale);

/// Où sont les échantillons d'un WAV au format du flux : le seul que le programme
/// envoie tel quel. Un bloc « data » plus long que le fichier (enregistrement interrompu)
/// est borné à ce qui est là, en trames entières.
struct FichierWav {
  std::size_t debutDonnees = 0;
  std::size_t octetsDonnees = 0;

  /// Lit l'en-tête sans jamais sortir des octets donnés.
  [[nodiscard]] static std::expected<FichierWav, ErreurWav> lire(VueOctets fichier);

  /// En-tête de 44 octets d'un WAV au format du flux de `octetsDonnees` octets.
  [[nodiscard]] static Octets entete(std::uint32_t octetsDonnees);
};

}  // namespace ravlo
