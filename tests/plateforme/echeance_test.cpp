// SPDX-License-Identifier: MPL-2.0
// La grille d'une tâche périodique : à l'heure, en retard d'un peu, bloquée longtemps.
#include "plateforme/echeance.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Instant = std::chrono::steady_clock::time_point;

TEST(Echeance, SauteLesPeriodesManqueesSansDeriver) {
  const Instant t0{1000ms};
  const struct {
    std::chrono::milliseconds maintenant, attendue;
  } cas[] = {
      {1100ms, 1200ms},  // à l'heure
      {1200ms, 1400ms},  // pile sur l'échéance : elle est passée
      {1950ms, 2000ms},  // bloquée près d'une seconde : une seule tâche, sur la grille
      {1'000'999ms, 1'001'000ms},
  };
  for (const auto& c : cas) {
    EXPECT_EQ(echeanceSuivante(t0, 200ms, Instant{c.maintenant}), Instant{c.attendue})
        << c.maintenant.count();
  }
}

}  // namespace
}  // namespace ravlo
