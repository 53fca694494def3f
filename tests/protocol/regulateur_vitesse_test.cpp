#include "protocol/regulateur_vitesse.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "protocol/cible_reserve.hpp"

namespace ravlo {
namespace {

TEST(RegulateurVitesse, ProportionnelPlusIntegral) {
  RegulateurVitesse r;
  EXPECT_DOUBLE_EQ(r.regler(100, 90, 1), 400.4);
  EXPECT_DOUBLE_EQ(r.derivePPM, 0.4);
  EXPECT_DOUBLE_EQ(r.regler(80, 90, 2), -400 + 0.4 - 0.8);
  EXPECT_DOUBLE_EQ(r.derivePPM, -0.4);
}

TEST(RegulateurVitesse, SaturationSansEmballementDeLIntegrale) {
  RegulateurVitesse r;
  EXPECT_EQ(r.regler(200, 150, 1), 1000.0);
  EXPECT_EQ(r.derivePPM, 0.0);
  EXPECT_EQ(r.regler(100, 150, 1), -1000.0);
  EXPECT_EQ(r.derivePPM, 0.0);

  // L'intégrale seule reste bornée, et une sortie qui ne sature pas la met à jour.
  r.derivePPM = 999.9;
  EXPECT_DOUBLE_EQ(r.regler(110, 100, 1), 1000.0);
  EXPECT_DOUBLE_EQ(r.derivePPM, 999.9) << "saturée dans le sens de l'écart : tenue";
  EXPECT_DOUBLE_EQ(r.regler(99, 100, 1), -40 + 999.9 - 0.04);
  EXPECT_DOUBLE_EQ(r.derivePPM, 999.86);
}

// Une file que la dérive remplit de `derive` ppm et que la correction vide, le régulateur
// appelé chaque seconde avec la réserve : sa sortie rejoint la dérive à 20 ppm près en une minute
// et demie (mode proportionnel, 25 s), puis l'intégrale reprend toute la dérive et l'écart s'annule
// (mode intégral, environ 1000 s).
TEST(RegulateurVitesse, ConvergeVersLaDeriveDesHorloges) {
  for (double derive : {-300.0, 120.0, 300.0}) {
    RegulateurVitesse r;
    double reserve = 60.0, vitesse = 0.0;
    for (int seconde = 1; seconde <= 6000; ++seconde) {
      reserve += (derive - vitesse) / 1000.0;  // ms gagnées en une seconde
      vitesse = r.regler(reserve, 60.0, 1.0);
      if (seconde >= 90) {
        ASSERT_NEAR(vitesse, derive, 20.0) << derive << " à " << seconde << " s";
      }
    }
    EXPECT_NEAR(r.derivePPM, derive, 1.0) << derive;
    EXPECT_NEAR(reserve, 60.0, 0.02) << derive;
  }
}

TEST(CibleReserve, EnveloppeQuiMonteAuPicEtSeDemiTousLes30s) {
  CibleReserve c;
  c.ajuster(120.0, 0.0);
  EXPECT_EQ(c.enveloppeGigueMs, 80.0);
  c.ajuster(0.0, 30.0);
  EXPECT_DOUBLE_EQ(c.enveloppeGigueMs, 40.0);
  c.ajuster(0.0, 1.0);
  EXPECT_DOUBLE_EQ(c.enveloppeGigueMs, 40.0 * 0.9771599684342459);
  c.ajuster(55.0, 1.0);
  EXPECT_EQ(c.enveloppeGigueMs, 55.0);
  c.ajuster(10.0, 0.0);
  EXPECT_EQ(c.enveloppeGigueMs, 55.0);
}

TEST(CibleReserve, BaseEtCible) {
  EXPECT_NEAR(baseMs(512, 5.0), 10.6667, 1e-4);
  EXPECT_EQ(baseMs(128, 5.0), 5.0);
  EXPECT_EQ(baseMs(std::nullopt, 5.0), 5.0);
  EXPECT_EQ(baseMs(std::nullopt, 0.0), 0.0);
  EXPECT_EQ(cibleMs(10.0, 20.0), 65.0);
}

}  // namespace
}  // namespace ravlo
