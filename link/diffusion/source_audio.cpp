// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/source_audio.hpp"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>

#include "protocol/audio/fichier_wav.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {

SourceTon::SourceTon(double frequenceHz, double niveaudBFS)
    : pas_(2.0 * std::numbers::pi * frequenceHz / static_cast<double>(flux::tramesParSeconde)),
      amplitude_(32767.0 * std::pow(10.0, niveaudBFS / 20.0)) {}

std::size_t SourceTon::produire(std::span<std::int16_t> vers) {
  const std::size_t trames = vers.size() / flux::canaux;
  for (std::size_t i = 0; i < trames; ++i) {
    const auto v = static_cast<std::int16_t>(std::lround(amplitude_ * std::sin(phase_)));
    vers[2 * i] = v;
    vers[2 * i + 1] = v;
    phase_ += pas_;
    if (phase_ >= 2.0 * std::numbers::pi) phase_ -= 2.0 * std::numbers::pi;
  }
  return trames;
}

std::expected<std::unique_ptr<SourceWav>, std::string> SourceWav::ouvrir(
    const std::filesystem::path& chemin, std::string_view locale) {
  std::ifstream fichier(chemin, std::ios::binary);
  if (!fichier) {
    std::string phrase = texte("Impossible d'ouvrir « %s ».", locale);
    if (const auto marque = phrase.find("%s"); marque != std::string::npos)
      phrase.replace(marque, 2, chemin.string());
    return std::unexpected(std::move(phrase));
  }
  Octets contenu((std::istreambuf_iterator<char>(fichier)), std::istreambuf_iterator<char>());
  const auto wav = FichierWav::lire(contenu);
  if (!wav) return std::unexpected(texte(wav.error(), locale));
  return std::unique_ptr<SourceWav>(
      new SourceWav(std::move(contenu), wav->debutDonnees, wav->octetsDonnees));
}

std::size_t SourceWav::produire(std::span<std::int16_t> vers) {
  const std::size_t trames =
      std::min(vers.size() / flux::canaux, (fin_ - position_) / flux::octetsParTrame);
  // Les échantillons du fichier sont petits-boutistes, comme la mémoire de ces machines.
  std::memcpy(vers.data(), contenu_.data() + position_, trames * flux::octetsParTrame);
  position_ += trames * flux::octetsParTrame;
  return trames;
}

}  // namespace ravlo
