// SPDX-License-Identifier: MPL-2.0
// Le fichier d'état du silence : lu au démarrage, peut-être tronqué ou abîmé. Ce qui est lu
// se réécrit à l'identique.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "plateforme/pulseaudio/etat_silence.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  const std::string_view texte(reinterpret_cast<const char*>(donnees), taille);
  const auto etat = ravlo::EtatSilence::lire(texte);
  if (etat) {
    const auto relu = ravlo::EtatSilence::lire(etat->texte());
    if (!relu || *relu != *etat) std::abort();
  }
  return 0;
}
