// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/source_audio.hpp"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>

#include "protocol/audio/fichier_wav.hpp"

namespace ravlo {

SourceTon::SourceTon(double frequenceHz, double niveaudBFS)
    : pas_(2.0 * std::numbers::pi * frequenceHz / 48'000.0),
      amplitude_(32767.0 * std::pow(10.0, niveaudBFS / 20.0)) {}

std::size_t SourceTon::produire(std::span<std::int16_t> vers) {
  const std::size_t trames = vers.size() / 2;
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
    const std::filesystem::path& chemin) {
  std::ifstream flux(chemin, std::ios::binary);
  if (!flux) return std::unexpected("Impossible d'ouvrir « " + chemin.string() + " ».");
  Octets contenu((std::istreambuf_iterator<char>(flux)), std::istreambuf_iterator<char>());
  const auto wav = FichierWav::lire(contenu);
  if (!wav) return std::unexpected(texte(wav.error()));
  return std::unique_ptr<SourceWav>(
      new SourceWav(std::move(contenu), wav->debutDonnees, wav->octetsDonnees));
}

std::size_t SourceWav::produire(std::span<std::int16_t> vers) {
  const std::size_t trames = std::min(vers.size() / 2, (fin_ - position_) / 4);
  // Les échantillons du fichier sont petits-boutistes, comme la mémoire de ces machines.
  std::memcpy(vers.data(), contenu_.data() + position_, trames * 4);
  position_ += trames * 4;
  return trames;
}

}  // namespace ravlo
