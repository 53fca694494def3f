#include "protocol/mesure_gigue.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

constexpr std::uint64_t ms = 1'000'000;

// L'horloge de l'émetteur a 40 s d'avance : seul l'écart au plus petit transit compte.
constexpr InstantNs avanceEmetteur = 40'000 * ms;

void recevoir(MesureGigue& g, InstantNs reception, std::uint64_t transit) {
  g.mesurer(reception + avanceEmetteur - transit, reception);
}

TEST(MesureGigue, EcartAuPlusPetitTransitDesDeuxDernieresFenetres) {
  MesureGigue g;
  recevoir(g, 1000 * ms, 10 * ms);
  EXPECT_EQ(g.gigueMs(), 0.0);
  recevoir(g, 1500 * ms, 13 * ms);
  EXPECT_DOUBLE_EQ(g.gigueMs(), 3.0);
  recevoir(g, 1600 * ms, 10'500'000);
  EXPECT_DOUBLE_EQ(g.gigueMs(), 0.5);
  EXPECT_DOUBLE_EQ(g.gigueMaxRecenteMs(), 3.0);

  // À 2 s du début, la fenêtre tourne : le minimum de 10 ms reste la référence.
  recevoir(g, 3000 * ms, 12 * ms);
  EXPECT_DOUBLE_EQ(g.gigueMs(), 2.0);
  EXPECT_DOUBLE_EQ(g.gigueMaxRecenteMs(), 3.0);
  // Un tour de plus : la fenêtre du minimum de 10 ms est oubliée ; la référence devient 12.
  recevoir(g, 5000 * ms, 12 * ms);
  EXPECT_DOUBLE_EQ(g.gigueMs(), 0.0);
  EXPECT_DOUBLE_EQ(g.gigueMaxRecenteMs(), 2.0);
  EXPECT_DOUBLE_EQ(g.gigueMaxMs(), 3.0) << "le maximum de toujours ne s'oublie pas";
  EXPECT_EQ(g.mesures(), 5);

  // Une fenêtre plus courte tourne plus tôt.
  MesureGigue courte(100 * ms);
  recevoir(courte, 0, 5 * ms);
  recevoir(courte, 100 * ms, 9 * ms);
  recevoir(courte, 200 * ms, 9 * ms);
  EXPECT_DOUBLE_EQ(courte.gigueMaxRecenteMs(), 4.0);
  recevoir(courte, 300 * ms, 9 * ms);
  EXPECT_DOUBLE_EQ(courte.gigueMaxRecenteMs(), 0.0);
}

TEST(MesureGigue, UnSautDePlusDe2sEstUnRedemarrageDeLEmetteur) {
  MesureGigue g;
  recevoir(g, 1000 * ms, 10 * ms);
  recevoir(g, 1100 * ms, 30 * ms);
  recevoir(g, 1200 * ms, 10 * ms + 2'000'000'000);
  EXPECT_EQ(g.redemarragesDeLEmetteur(), 0) << "2 s tout juste : un retard, pas un redémarrage";
  EXPECT_DOUBLE_EQ(g.gigueMs(), 2000.0);

  recevoir(g, 1300 * ms, 10 * ms + 2'000'000'001);
  EXPECT_EQ(g.redemarragesDeLEmetteur(), 1);
  EXPECT_EQ(g.gigueMs(), 0.0) << "les fenêtres repartent de ce transit";
  EXPECT_EQ(g.gigueMaxRecenteMs(), 0.0);
  recevoir(g, 1400 * ms, 10 * ms + 2'000'000'006);
  EXPECT_NEAR(g.gigueMs(), 0.000005, 1e-12);

  // Dans l'autre sens aussi, et même quand l'heure de capture fait le tour de 2⁶⁴.
  g.mesurer(UINT64_MAX - 5 * ms, 1500 * ms);
  EXPECT_EQ(g.redemarragesDeLEmetteur(), 2);
  g.mesurer(UINT64_MAX - 5 * ms, 1600 * ms);
  EXPECT_DOUBLE_EQ(g.gigueMs(), 100.0);
  EXPECT_EQ(g.redemarragesDeLEmetteur(), 2);
}

}  // namespace
}  // namespace ravlo
