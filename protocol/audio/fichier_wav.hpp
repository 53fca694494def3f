// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <string>

#include "protocol/base/octets.hpp"

namespace ravlo {

enum class ErreurWav : std::uint8_t {
  pasUnWav,        ///< pas d'en-tête RIFF/WAVE
  formatAbsent,    ///< pas de bloc « fmt » complet avant les données
  pasDuPCM,        ///< compressé ou flottant
  mauvaisFormat,   ///< autre chose que 48 000 Hz, stéréo, 16 bits
  donneesAbsentes  ///< pas de bloc « data »
};

/// Phrase française pour l'utilisateur.
[[nodiscard]] std::string texte(ErreurWav erreur);

/// Où sont les échantillons d'un WAV 48 000 Hz stéréo 16 bits : le seul que le programme
/// envoie tel quel. Un bloc « data » plus long que le fichier (enregistrement interrompu)
/// est borné à ce qui est là, en trames entières.
struct FichierWav {
  std::size_t debutDonnees = 0;
  std::size_t octetsDonnees = 0;

  /// Lit l'en-tête sans jamais sortir des octets donnés.
  [[nodiscard]] static std::expected<FichierWav, ErreurWav> lire(VueOctets fichier);

  /// En-tête de 44 octets d'un WAV 48 000 Hz stéréo 16 bits de `octetsDonnees` octets.
  [[nodiscard]] static Octets entete(std::uint32_t octetsDonnees);
};

}  // namespace ravlo
