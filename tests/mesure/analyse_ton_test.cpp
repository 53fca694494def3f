// SPDX-License-Identifier: MPL-2.0
// Les outils de mesure_bout_a_bout (bench/) : l'analyse du ton à l'arrivée, sur des signaux
// abîmés exprès, et ses clics, repérés à la fraction de trame, appariés d'une pièce à l'autre.
#include "bench/analyse_ton.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "bench/clics.hpp"

namespace {

using namespace ravlo::mesure;

// Le signal de mesure_bout_a_bout, retardé de `retard` trames : ton de 440 Hz à 0,02, clic de
// 2 ms à 3 kHz toutes les 0,5 s. Échantillonné aux trames entières, il donne ce qu'une pièce
// recevrait avec un retard qui n'est pas un nombre entier de trames.
double ton(double t) {
  return 0.02 * std::sin(2 * std::numbers::pi * 440 * t / 48'000);
}
double signal(double t) {
  const double p = std::fmod(t, 24'000);
  return t >= 0 && p < 96 ? 0.8 * std::sin(2 * std::numbers::pi * 3000 * p / 48'000) : ton(t);
}

// Dix secondes de ce signal, abîmées exprès : arrivé tard (rien avant la trame 30 000), un
// recollement (3 ms sautées) à 100 800, un saut de phase à 206 400, un silence de 20 ms à
// 297 600 ; un silence couvre aussi les clics. Rien ne compte avant le premier clic arrivé ;
// recollement et saut de phase sont deux discontinuités, datées là où elles sont (scripts/pieces
// compte celles qui suivent un événement) ; le silence est un trou, dont les bords ne sont pas
// deux discontinuités ; le reste du ton et ses clics ne comptent rien.
TEST(AnalyseTon, TrousEtDiscontinuitesDUnSignalAbime) {
  AnalyseTon analyse;
  std::vector<std::int64_t> clics;
  std::int64_t phase = 0;
  for (std::int64_t n = 0; n < 480'000; ++n) {
    phase += n == 100'800 ? 144 : n == 206'400 ? 37 : 0;
    const bool muet = n < 30'000 || (n >= 297'600 && n < 298'560);
    if (n % 24'000 == 1 && !muet) clics.push_back(n);
    const auto t = static_cast<double>(n);
    const double x = n % 24'000 < 96 ? signal(t) : ton(t + static_cast<double>(phase));
    analyse.echantillon(n, muet ? 0.0 : std::round(x * 32'767) / 32'767);
  }
  const auto b = analyse.bilan(clics);
  EXPECT_EQ(b.trous, 1);
  EXPECT_EQ(b.debutsTrous, std::vector<std::int64_t>{297'600});
  EXPECT_NEAR(b.trousMs, 20, 0.1);
  EXPECT_EQ(b.discontinuites, 2);
  ASSERT_EQ(b.positionsDiscontinuites.size(), 2U);
  EXPECT_NEAR(b.positionsDiscontinuites[0], 100'800, 2);
  EXPECT_NEAR(b.positionsDiscontinuites[1], 206'400, 2);
}

// Un retard fractionnaire se retrouve au centième de trame près, même quand le franchissement
// du seuil tombe à cheval sur deux blocs ; la traîne d'un clic (un écho de 100 ms) n'en fait
// pas un second.
TEST(ReperageClics, RetardFractionnaireEtTraine) {
  const auto reperer = [](double retard, std::int64_t bloc) {
    ReperageClics r;
    for (std::int64_t debut = 0; debut < 120'000; debut += bloc)
      for (std::int64_t n = debut; n < debut + bloc; ++n)
        r.echantillon(n, signal(static_cast<double>(n) - retard));
    return r.positions;
  };
  const auto reference = reperer(0, 480);
  ASSERT_EQ(reference.size(), 5U);
  for (const std::int64_t bloc : {1, 7, 240, 480}) {
    for (const double retard : {0.1, 0.25, 0.5, 0.75, 0.9, 1.37, 37.5}) {
      const auto p = reperer(retard, bloc);
      ASSERT_EQ(p.size(), 5U) << "retard " << retard << ", bloc " << bloc;
      for (std::size_t k = 0; k < p.size(); ++k)
        EXPECT_NEAR(p[k] - static_cast<double>(k) * 24'000 - retard, reference[0], 0.02)
            << "clic " << k << ", retard " << retard << ", bloc " << bloc;
    }
  }
  ReperageClics r;
  for (std::int64_t n = 0; n < 30'000; ++n) {
    const auto t = static_cast<double>(n % 24'000);
    r.echantillon(n, t < 4'800 ? 0.5 * std::sin(0.39 * t) : 0.0);
  }
  EXPECT_EQ(r.entiers(), (std::vector<std::int64_t>{2, 24'002}));
}

// Seul un clic dans la fenêtre répond ; un clic perdu d'un côté ne décale pas les suivants ;
// un clic en retard de 2 ms, le p99 et le maximum le voient ; sans clic commun, pas d'écart.
TEST(EcartPieces, AppariementEtEcarts) {
  for (const auto& [arrivee, retard] : std::vector<std::pair<double, std::optional<double>>>{
           {-6, std::nullopt}, {-4, -4}, {120, 120}, {399, 399}, {401, std::nullopt}}) {
    EXPECT_EQ(apparier({1000}, {1000 + arrivee}, 400), std::vector{retard}) << arrivee << " ms";
  }
  // Un clic toutes les 500 ms, le k-ième manquant (-1 : aucun), le deuxième décalé de `tard`.
  const auto clics = [](double decalage, int manquant, double tard = 0) {
    std::vector<double> v;
    for (int i = 0; i < 10; ++i)
      if (i != manquant) v.push_back(500.0 * i + decalage + (i == 1 ? tard : 0));
    return v;
  };
  const EcartPieces e(apparier(clics(0, -1), clics(54.2, 3), 400),
                      apparier(clics(0, -1), clics(54.5, 6, 2), 400));
  ASSERT_EQ(e.parClic.size(), 10U);
  EXPECT_FALSE(e.parClic[3]);
  EXPECT_FALSE(e.parClic[6]);
  ASSERT_EQ(e.valeurs.size(), 8U);
  EXPECT_NEAR(e.medianeMs, 0.3, 1e-9);
  EXPECT_NEAR(e.p99AbsMs, 2.3, 1e-9);
  EXPECT_NEAR(e.maxAbsMs, 2.3, 1e-9);
  const EcartPieces sans(apparier(clics(0, -1), clics(50, -1), 400),
                         apparier(clics(0, -1), {}, 400));
  EXPECT_TRUE(sans.valeurs.empty());
  EXPECT_TRUE(std::isnan(sans.medianeMs));
}

}  // namespace
