// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

#include "protocol/audio/format_flux.hpp"

namespace ravlo::mesure {

// Le ton à l'arrivée de mesure_bout_a_bout, échantillon par échantillon : trous et
// discontinuités. Un ton pur vérifie x[n] = 2·cos(ω)·x[n−1] − x[n−2] : le reste ne dépasse le
// bruit de quantification qu'à une coupure. Les seuils sont relatifs au ton de −34 dBFS (0,02).
struct AnalyseTon {
  static constexpr auto frequence = static_cast<double>(flux::tramesParSeconde);
  static constexpr double omega = 2 * std::numbers::pi * 440 / frequence;
  static constexpr double seuilReste = 0.004;
  static constexpr double seuilSilence = 0.001;
  static constexpr std::int64_t trouMin = 48;     // 1 ms
  static constexpr std::int64_t fusion = 480;     // 10 ms : une coupure, un événement
  static constexpr std::int64_t avantClic = 144;  // 3 ms : le pré-écho d'un rééchantillonneur
  static constexpr std::int64_t apresClic = 288;  // 6 ms : le clic et sa traîne

  double x1 = 0;
  double x2 = 0;
  std::int64_t debutSilence = -1;
  std::int64_t derniereDiscontinuite = -1'000'000;
  std::vector<std::int64_t> discontinuites;
  std::vector<std::pair<std::int64_t, std::int64_t>> trous;  // début, longueur

  void echantillon(std::int64_t position, double x) {
    if (std::fabs(x) < seuilSilence) {
      if (debutSilence < 0) debutSilence = position;
    } else {
      if (debutSilence >= 0 && position - debutSilence >= trouMin)
        trous.emplace_back(debutSilence, position - debutSilence);
      debutSilence = -1;
    }
    const double reste = x - 2 * std::cos(omega) * x1 + x2;
    if (std::fabs(reste) > seuilReste && position - derniereDiscontinuite > fusion)
      discontinuites.push_back(position);
    if (std::fabs(reste) > seuilReste) derniereDiscontinuite = position;
    x2 = x1;
    x1 = x;
  }

  struct Bilan {
    int trous = 0;
    double trousMs = 0;
    int discontinuites = 0;
    // Les positions (en trames) de ce qui est compté : dire ce qui vient après un événement.
    std::vector<std::int64_t> debutsTrous;
    std::vector<std::int64_t> positionsDiscontinuites;
  };

  // Seulement entre le premier et le dernier clic arrivé, hors des clics ; une discontinuité
  // au bord d'un trou en fait partie.
  [[nodiscard]] Bilan bilan(const std::vector<std::int64_t>& clics) const {
    Bilan b;
    if (clics.size() < 2) return b;
    const auto dansClic = [&](std::int64_t p) {
      const auto it = std::lower_bound(clics.begin(), clics.end(), p - apresClic);
      return it != clics.end() && *it <= p + avantClic;
    };
    const auto dedans = [&](std::int64_t p) { return p > clics.front() && p < clics.back(); };
    for (const auto& [debut, longueur] : trous) {
      if (!dedans(debut) || (dansClic(debut) && longueur < apresClic)) continue;
      ++b.trous;
      b.trousMs += static_cast<double>(longueur) * 1000 / frequence;
      b.debutsTrous.push_back(debut);
    }
    for (const auto p : discontinuites) {
      if (!dedans(p) || dansClic(p)) continue;
      const bool bordDeTrou = std::any_of(trous.begin(), trous.end(), [&](const auto& t) {
        return p >= t.first - fusion && p <= t.first + t.second + fusion;
      });
      if (bordDeTrou) continue;
      ++b.discontinuites;
      b.positionsDiscontinuites.push_back(p);
    }
    return b;
  }
};

}  // namespace ravlo::mesure
