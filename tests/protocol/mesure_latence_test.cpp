#include "protocol/mesure_latence.hpp"

#include <gtest/gtest.h>

#include "protocol/releve_reserve.hpp"

namespace ravlo {
namespace {

constexpr InstantNs t0 = 50'000'000'000;

TEST(MesureLatence, MoyennesParPaquetsEtEchantillonsAbsurdesIgnores) {
  MesureLatence m;
  m.noterRendu(t0, t0 + 3'000'000'000);
  m.noterRendu(t0 + 3'000'000'000, t0);
  for (int i = 0; i < 47; ++i) m.noterRendu(t0, t0 + 40'000'000);
  EXPECT_EQ(m.latenceMs(), std::nullopt) << "les échantillons de 3 s ne comptent pas";
  m.noterRendu(t0, t0 + 88'000'000);
  EXPECT_DOUBLE_EQ(*m.latenceMs(), 41.0);
  // La moyenne repart de zéro : 47 nouveaux échantillons ne la changent pas.
  for (int i = 0; i < 47; ++i) m.noterRendu(t0, t0 + 10'000'000);
  EXPECT_DOUBLE_EQ(*m.latenceMs(), 41.0);
  m.noterRendu(t0 + 2'000'000'000, t0);  // −2 s tout juste : compte
  EXPECT_NEAR(*m.latenceMs(), (47 * 10.0 - 2000.0) / 48, 1e-9);

  EXPECT_EQ(m.dansLIPhoneMs(), std::nullopt);
  for (int i = 0; i < 149; ++i) m.noterArrivee(t0, t0 + 5'000'000);
  EXPECT_EQ(m.jusquALIPhoneMs(), std::nullopt);
  m.noterArrivee(t0, t0 + 5'000'000);
  EXPECT_DOUBLE_EQ(*m.jusquALIPhoneMs(), 5.0);
  EXPECT_NEAR(*m.dansLIPhoneMs(), *m.latenceMs() - 5.0, 1e-12);

  m.reinitialiser();
  EXPECT_EQ(m.latenceMs(), std::nullopt);
  EXPECT_EQ(m.jusquALIPhoneMs(), std::nullopt);
}

TEST(ReleveReserve, MoyenneParSecondeEtMinimumDeToujours) {
  ReleveReserve r;
  EXPECT_FALSE(r.noter(t0, 50.0));
  EXPECT_FALSE(r.noter(t0 + 400'000'000, 30.0));
  EXPECT_FALSE(r.noter(t0 + 999'999'999, 40.0));
  EXPECT_EQ(r.reserveMoyenneMs(), std::nullopt);
  EXPECT_EQ(r.reserveMinimaleMs(), 30.0);
  EXPECT_EQ(r.reserveMs(), 40.0);

  // À 1 s, l'échantillon clôt la seconde sans y compter, et ouvre la suivante.
  EXPECT_TRUE(r.noter(t0 + 1'000'000'000, 100.0));
  EXPECT_DOUBLE_EQ(*r.reserveMoyenneMs(), 40.0);
  EXPECT_FALSE(r.noter(t0 + 1'500'000'000, 60.0));
  EXPECT_TRUE(r.noter(t0 + 2'000'000'000, 0.5));
  EXPECT_DOUBLE_EQ(*r.reserveMoyenneMs(), 80.0);
  EXPECT_EQ(r.reserveMinimaleMs(), 0.5);
  EXPECT_TRUE(r.noter(t0 + 5'000'000'000, 70.0)) << "une longue absence clôt la seconde";
  EXPECT_DOUBLE_EQ(*r.reserveMoyenneMs(), 0.5);
}

}  // namespace
}  // namespace ravlo
