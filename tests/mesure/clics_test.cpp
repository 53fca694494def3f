// SPDX-License-Identifier: MPL-2.0
#include "bench/clics.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <vector>

namespace {

using ravlo::mesure::apparier;
using ravlo::mesure::EcartPieces;
using ravlo::mesure::ReperageClics;

// Le signal de mesure_bout_a_bout en temps continu, retardé de `retard` trames : ton de 440 Hz
// à 0,02, clic de 2 ms à 3 kHz toutes les 0,5 s. Échantillonné aux trames entières, il donne ce
// qu'une pièce recevrait avec un retard qui n'est pas un nombre entier de trames.
double signal(double t) {
  constexpr double f = 48'000;
  double x = 0.02 * std::sin(2 * std::numbers::pi * 440 * t / f);
  const double dansPeriode = std::fmod(t, 24'000);
  if (t >= 0 && dansPeriode < 96) x = 0.8 * std::sin(2 * std::numbers::pi * 3000 * dansPeriode / f);
  return x;
}

std::vector<double> reperer(double retard, std::int64_t bloc) {
  ReperageClics r;
  for (std::int64_t debut = 0; debut < 120'000; debut += bloc)
    for (std::int64_t n = debut; n < debut + bloc; ++n)
      r.echantillon(n, signal(static_cast<double>(n) - retard));
  return r.positions;
}

TEST(ReperageClics, UnRetardFractionnaireSeRetrouveAuCentiemeDeTramePres) {
  // Le point de la forme où le seuil est franchi, sans retard.
  const auto reference = reperer(0, 480);
  ASSERT_EQ(reference.size(), 5U);
  const double forme = reference[0];
  // Blocs de 1 trame : le franchissement tombe à cheval sur deux blocs.
  for (const std::int64_t bloc : {1, 7, 240, 480}) {
    for (const double retard : {0.1, 0.25, 0.5, 0.75, 0.9, 1.37, 37.5}) {
      const auto p = reperer(retard, bloc);
      ASSERT_EQ(p.size(), 5U) << "retard " << retard << ", bloc " << bloc;
      for (std::size_t k = 0; k < p.size(); ++k)
        EXPECT_NEAR(p[k] - static_cast<double>(k) * 24'000 - retard, forme, 0.02)
            << "clic " << k << ", retard " << retard << ", bloc " << bloc;
    }
  }
}

TEST(ReperageClics, LaTraineDUnClicNEnFaitPasUnSecond) {
  ReperageClics r;
  // Un clic qui résonne 100 ms (un écho de la pièce), puis le suivant 0,5 s après.
  for (std::int64_t n = 0; n < 30'000; ++n) {
    const auto t = static_cast<double>(n % 24'000);
    r.echantillon(n, t < 4'800 ? 0.5 * std::sin(0.39 * t) : 0.0);
  }
  ASSERT_EQ(r.positions.size(), 2U);
  EXPECT_EQ(r.entiers(), (std::vector<std::int64_t>{2, 24'002}));
}

std::vector<double> toutesLes500ms(int n, double decalage) {
  std::vector<double> v(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = 500.0 * i + decalage;
  return v;
}

TEST(EcartPieces, UnClicPerduDUnCoteNeDecalePasLesSuivants) {
  const auto partis = toutesLes500ms(10, 0);
  auto piece1 = toutesLes500ms(10, 54.2);
  auto piece2 = toutesLes500ms(10, 54.5);
  piece1.erase(piece1.begin() + 3);
  piece2.erase(piece2.begin() + 6);
  piece2[1] += 2;  // un clic en retard de 2 ms : le p99 et le maximum le voient
  const EcartPieces e(apparier(partis, piece1, 400), apparier(partis, piece2, 400));
  ASSERT_EQ(e.parClic.size(), 10U);
  EXPECT_FALSE(e.parClic[3]);
  EXPECT_FALSE(e.parClic[6]);
  ASSERT_EQ(e.valeurs.size(), 8U);
  EXPECT_NEAR(e.medianeMs, 0.3, 1e-9);
  EXPECT_NEAR(e.p99AbsMs, 2.3, 1e-9);
  EXPECT_NEAR(e.maxAbsMs, 2.3, 1e-9);
}

TEST(EcartPieces, SansClicCommunIlNYAPasDEcart) {
  const auto partis = toutesLes500ms(4, 0);
  const EcartPieces e(apparier(partis, toutesLes500ms(4, 50), 400), apparier(partis, {}, 400));
  EXPECT_TRUE(e.valeurs.empty());
  EXPECT_TRUE(std::isnan(e.medianeMs));
}

TEST(Apparier, SeulUnClicDansLaFenetreRepond) {
  struct Cas {
    double arrivee;
    std::optional<double> retard;
  };
  for (const auto& c : std::vector<Cas>{{-6, std::nullopt},  // avant : un clic précédent
                                        {-4, -4},            // bruit de datation
                                        {120, 120},
                                        {399, 399},
                                        {401, std::nullopt}}) {
    const auto r = apparier({1000}, {1000 + c.arrivee}, 400);
    ASSERT_EQ(r.size(), 1U);
    EXPECT_EQ(r[0], c.retard) << "arrivée à " << c.arrivee << " ms";
  }
}

}  // namespace
