// SPDX-License-Identifier: MPL-2.0
#include "protocol/supervision/attente_reprise.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace ravlo {
namespace {

constexpr InstantNs ms = 1'000'000;

// Une absence vue à 10 s, tâtée toutes les 100 ms : les essais tombent à 0,5, 1, 2, 4 puis
// 5 s d'écart ; une reprise fait repartir la prochaine absence d'un essai immédiat. Une heure
// qui recule ne permet rien.
TEST(AttenteReprise, DelaisDoublesJusquACinqSecondesPuisRepartDeZero) {
  AttenteReprise attente;
  std::vector<InstantNs> essais;
  for (InstantNs t = 10'000 * ms; t <= 28'000 * ms; t += 100 * ms) {
    if (!attente.aEssayer(t)) continue;
    essais.push_back(t);
    attente.essaye(t);
  }
  EXPECT_EQ(essais, (std::vector<InstantNs>{10'000 * ms, 10'500 * ms, 11'500 * ms, 13'500 * ms,
                                            17'500 * ms, 22'500 * ms, 27'500 * ms}));
  EXPECT_EQ(attente.resteNs(28'000 * ms), 4'500 * ms);
  EXPECT_FALSE(attente.aEssayer(27'000 * ms));
  EXPECT_EQ(attente.resteNs(27'000 * ms), 5'000 * ms);

  attente.reussie();
  EXPECT_TRUE(attente.aEssayer(28'000 * ms));
  EXPECT_EQ(attente.resteNs(28'000 * ms), 0u);
  attente.essaye(28'000 * ms);
  EXPECT_FALSE(attente.aEssayer(28'499 * ms));
  EXPECT_TRUE(attente.aEssayer(28'500 * ms));
}

}  // namespace
}  // namespace ravlo
