// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "faux/programme_lance.hpp"
#include "protocol/audio/fichier_wav.hpp"

namespace ravlo::essai {

/// Vrai quand les scripts ont lancé un démon d'essai et l'ont désigné : jamais un autre.
inline bool demonDEssai() {
  return std::getenv("PULSE_SERVER") != nullptr && std::getenv("RAVLO_PULSE_ESSAI") != nullptr;
}

/// Sortie d'une commande du shell.
inline std::string commande(const std::string& ligne) {
  return ligneDuShell(ligne).texte;
}

/// Première ligne d'une commande du shell, sans sa fin.
inline std::string ligne(const std::string& commandeShell) {
  const std::string s = commande(commandeShell);
  return s.substr(0, s.find('\n'));
}

inline std::string puitsParDefaut() {
  return ligne("pactl get-default-sink");
}

/// Niveau RMS (pleine échelle 32 768) d'échantillons 16 bits.
inline double rms(const std::int16_t* s, std::size_t n) {
  double somme = 0;
  for (std::size_t i = 0; i < n; ++i) somme += std::pow(s[i] / 32768.0, 2);
  return n == 0 ? 0 : std::sqrt(somme / static_cast<double>(n));
}

/// Échantillons 16 bits d'un fichier brut, après `entete` octets.
inline std::vector<std::int16_t> echantillons(const std::string& chemin, std::size_t entete = 0) {
  std::vector<std::int16_t> e;
  if (FILE* f = std::fopen(chemin.c_str(), "rb")) {
    std::fseek(f, static_cast<long>(entete), SEEK_SET);
    for (std::int16_t x = 0; std::fread(&x, 2, 1, f) == 1;) e.push_back(x);
    std::fclose(f);
  }
  return e;
}

/// Écrit `e` (16 bits stéréo entrelacés) en fichier WAV.
inline void ecrireWav(const std::string& chemin, const std::vector<std::int16_t>& e) {
  if (FILE* f = std::fopen(chemin.c_str(), "wb")) {
    const Octets entete = FichierWav::entete(static_cast<std::uint32_t>(e.size() * 2));
    std::fwrite(entete.data(), 1, entete.size(), f);
    std::fwrite(e.data(), 2, e.size(), f);
    std::fclose(f);
  }
}

/// Le son joué : `s` sans les zéros de son début et de sa fin.
inline std::vector<std::int16_t> sonJoue(const std::vector<std::int16_t>& s) {
  const auto debut = std::ranges::find_if(s, [](std::int16_t x) { return x != 0; });
  const auto fin = std::find_if(s.rbegin(), s.rend(), [](std::int16_t x) { return x != 0; });
  return debut < fin.base() ? std::vector(debut, fin.base()) : std::vector<std::int16_t>{};
}

/// Où, dans `entree`, commencent les 64 premières valeurs de `joue`, si ses `n` premières
/// valeurs en sont la suite à l'échantillon près ; −1 sinon.
inline std::ptrdiff_t suiteDuFichier(std::span<const std::int16_t> entree,
                                     std::span<const std::int16_t> joue, std::size_t n) {
  if (joue.size() < std::max<std::size_t>(n, 64)) return -1;
  const auto p = std::ranges::search(entree, joue.first(64)).begin();
  if (static_cast<std::size_t>(entree.end() - p) < n) return -1;
  return std::ranges::equal(joue.first(n), std::span(p, n)) ? p - entree.begin() : -1;
}

}  // namespace ravlo::essai
