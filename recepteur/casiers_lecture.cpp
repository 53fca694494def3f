// SPDX-License-Identifier: MPL-2.0
#include "recepteur/casiers_lecture.hpp"

#include <algorithm>

#include "protocol/audio/conversion_pcm.hpp"

namespace ravlo {
void CasiersLecture::ranger(std::uint32_t sequence, InstantNs captureNs, std::int64_t trames,
                            std::span<const std::int16_t> entrelace) {
  Casier& c = (*this)[sequence];
  c.sequence = sequence;
  c.present = true;
  c.trames = trames;
  c.captureNs = captureNs;
  ConversionPCM::desentrelacer(entrelace.first(static_cast<std::size_t>(2 * trames)),
                               static_cast<std::size_t>(trames), c.gauche, c.droite);
}

void CasiersLecture::toutLiberer() {
  for (std::int64_t i = 0; i < nombre; ++i) casiers_[static_cast<std::size_t>(i)].present = false;
}

std::int64_t CasiersLecture::contigu(Position depuis, std::int64_t jusqua) const {
  std::int64_t total = 0;
  std::int64_t debut = depuis.decalage;
  for (std::uint32_t s = depuis.casier; total < jusqua && present(s); ++s) {
    total += std::max<std::int64_t>(0, (*this)[s].trames - debut);
    debut = 0;
    if (ecartSequence(s, depuis.casier) >= nombre) break;
  }
  return total;
}

std::int64_t CasiersLecture::copier(Position depuis, std::span<float> dest) const {
  const std::int64_t voulu = static_cast<std::int64_t>(dest.size()) / 2;
  std::int64_t debut = depuis.decalage;
  std::int64_t j = 0;
  for (std::uint32_t s = depuis.casier; j < voulu && present(s); ++s, debut = 0) {
    const Casier& c = (*this)[s];
    for (std::int64_t f = debut; f < c.trames && j < voulu; ++f, ++j) {
      dest[static_cast<std::size_t>(2 * j)] = c.gauche[static_cast<std::size_t>(f)];
      dest[static_cast<std::size_t>(2 * j + 1)] = c.droite[static_cast<std::size_t>(f)];
    }
    if (ecartSequence(s, depuis.casier) >= nombre) break;
  }
  return j;
}

}  // namespace ravlo
