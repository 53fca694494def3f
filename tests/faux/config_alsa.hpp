// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace ravlo::essai {

/// Une configuration ALSA à soi, sans carte son : `essai`, un `file` qui écrit ce qu'on lui
/// joue, brut (S16_LE entrelacé), dans `brut`, sur un greffon de `type` : `null`, qui prend
/// tout sans attendre (rien n'y cadence le temps réel), ou `pulse`, le serveur de son d'essai.
/// Elle remplace toute la configuration du système (ALSA_CONFIG_PATH, pour ce processus et
/// ceux qu'il lance) : aucun autre nom n'y existe.
inline void configurerAlsa(const std::filesystem::path& dossier, const std::filesystem::path& brut,
                           const std::string& type = "null") {
  // Un nom neuf à chaque fois : libasound garde la configuration lue tant que son chemin et la
  // date du fichier (à la seconde) ne changent pas.
  static int fois = 0;
  const auto chemin = dossier / ("asound-" + std::to_string(++fois) + ".conf");
  std::ofstream(chemin) << "pcm.dessous { type " << type << " }\n"
                        << "pcm.essai {\n  type file\n  slave.pcm \"dessous\"\n  file \""
                        << brut.string() << "\"\n  format \"raw\"\n}\n";
  ::setenv("ALSA_CONFIG_PATH", chemin.c_str(), 1);
}

}  // namespace ravlo::essai
