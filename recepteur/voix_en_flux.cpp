// SPDX-License-Identifier: MPL-2.0
#include "recepteur/voix_en_flux.hpp"

#include <cmath>

#include "protocol/audio/format_flux.hpp"

namespace ravlo {

std::vector<std::int16_t> voixEnFlux(std::span<const std::int16_t> mono, int frequence) {
  if (frequence <= 0 || mono.empty()) return {};
  const auto n = static_cast<std::int64_t>(mono.size());
  const std::int64_t trames = n * flux::tramesParSeconde / frequence;
  std::vector<std::int16_t> sortie(static_cast<std::size_t>(trames) * flux::canaux);
  const double pas = static_cast<double>(frequence) / static_cast<double>(flux::tramesParSeconde);
  for (std::int64_t t = 0; t < trames; ++t) {
    const double position = static_cast<double>(t) * pas;
    const auto i = static_cast<std::int64_t>(position);
    const double f = position - static_cast<double>(i);
    const double a = mono[static_cast<std::size_t>(i)];
    const double b = i + 1 < n ? mono[static_cast<std::size_t>(i + 1)] : 0.0;
    const auto v = static_cast<std::int16_t>(std::lround(a + (b - a) * f));
    sortie[static_cast<std::size_t>(2 * t)] = v;
    sortie[static_cast<std::size_t>(2 * t + 1)] = v;
  }
  return sortie;
}

}  // namespace ravlo
