// SPDX-License-Identifier: MPL-2.0
#include "bench/analyse_ton.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

namespace {

using ravlo::mesure::AnalyseTon;

// Le signal de mesure_bout_a_bout, en s16 : ton de 440 Hz à 0,02, clic de 2 ms toutes les
// 0,5 s. `abimer` reçoit la position et la phase du ton, peut fausser la phase et rend le gain
// de l'échantillon (0 : silence, clic compris).
AnalyseTon::Bilan analyser(const std::function<double(std::int64_t, std::int64_t&)>& abimer) {
  AnalyseTon analyse;
  std::vector<std::int64_t> clics;
  std::int64_t phase = 0;
  for (std::int64_t n = 0; n < 480'000; ++n) {
    double x = 0.02 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(n + phase) /
                               AnalyseTon::frequence);
    if (n % 24'000 < 96)
      x = 0.8 *
          std::sin(2 * std::numbers::pi * 3000 * static_cast<double>(n) / AnalyseTon::frequence);
    const double gain = abimer(n, phase);
    if (n % 24'000 == 1 && gain > 0) clics.push_back(n);
    x *= gain;
    analyse.echantillon(n, std::round(x * 32'767) / 32'767);
  }
  return analyse.bilan(clics);
}

TEST(AnalyseTon, UnTonPropreEtSesClicsNeComptentRien) {
  const auto b = analyser([](std::int64_t, std::int64_t&) { return 1.0; });
  EXPECT_EQ(b.trous, 0);
  EXPECT_EQ(b.discontinuites, 0);
}

TEST(AnalyseTon, UnRecollementEtUnSautDePhaseSontDeuxDiscontinuites) {
  const auto b = analyser([](std::int64_t n, std::int64_t& phase) {
    if (n == 100'800) phase += 144;  // 3 ms sautées
    if (n == 206'400) phase += 37;
    return 1.0;
  });
  EXPECT_EQ(b.trous, 0);
  EXPECT_EQ(b.discontinuites, 2);
  // Datées là où elles sont : scripts/pieces compte celles qui suivent un événement.
  ASSERT_EQ(b.positionsDiscontinuites.size(), 2U);
  EXPECT_NEAR(b.positionsDiscontinuites[0], 100'800, 2);
  EXPECT_NEAR(b.positionsDiscontinuites[1], 206'400, 2);
}

TEST(AnalyseTon, UnSilenceEstUnTrouEtSesBordsN_EnSontPasDeuxDiscontinuites) {
  const auto b = analyser([](std::int64_t n, std::int64_t&) {
    return n >= 297'600 && n < 298'560 ? 0.0 : 1.0;  // 20 ms
  });
  EXPECT_EQ(b.trous, 1);
  EXPECT_EQ(b.debutsTrous, (std::vector<std::int64_t>{297'600}));
  EXPECT_NEAR(b.trousMs, 20, 0.1);
  EXPECT_EQ(b.discontinuites, 0);
}

TEST(AnalyseTon, RienNeCompteAvantLePremierClicArrive) {
  const auto b = analyser([](std::int64_t n, std::int64_t&) { return n < 30'000 ? 0.0 : 1.0; });
  EXPECT_EQ(b.trous, 0);
  EXPECT_EQ(b.discontinuites, 0);
}

}  // namespace
