// SPDX-License-Identifier: MPL-2.0
// Octets quelconques pour le lecteur d'en-tête WAV : jamais de lecture hors limites, et les
// données annoncées tiennent toujours dans le fichier, en trames entières.
#include <cstdlib>

#include "protocol/audio/fichier_wav.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  const auto wav = ravlo::FichierWav::lire(ravlo::VueOctets(donnees, taille));
  if (!wav) return 0;
  if (wav->debutDonnees > taille || wav->octetsDonnees > taille - wav->debutDonnees ||
      wav->octetsDonnees % 4 != 0) {
    std::abort();
  }
  return 0;
}
