// SPDX-License-Identifier: MPL-2.0
// Les outils de mesure_bout_a_bout (bench/) : l'analyse du ton à l'arrivée, sur des signaux
// abîmés exprès, et ses clics, repérés à la fraction de trame, appariés d'une pièce à l'autre.
#include "bench/analyse_ton.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
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

// `abimer` reçoit la position et peut avancer la phase du ton ; il rend le gain de
// l'échantillon (0 : silence, clic compris), en s16.
AnalyseTon::Bilan analyser(const std::function<double(std::int64_t, std::int64_t&)>& abimer) {
  AnalyseTon analyse;
  std::vector<std::int64_t> clics;
  std::int64_t phase = 0;
  for (std::int64_t n = 0; n < 480'000; ++n) {
    const double x =
        n % 24'000 < 96 ? signal(static_cast<double>(n)) : ton(static_cast<double>(n + phase));
    const double gain = abimer(n, phase);
    if (n % 24'000 == 1 && gain > 0) clics.push_back(n);
    analyse.echantillon(n, std::round(x * gain * 32'767) / 32'767);
  }
  return analyse.bilan(clics);
}

// Un ton propre et ses clics ne comptent rien ; un recollement (3 ms sautées) et un saut de
// phase font deux discontinuités, datées là où elles sont (scripts/pieces compte celles qui
// suivent un événement) ; un silence est un trou, dont les bords ne sont pas deux
// discontinuités ; rien ne compte avant le premier clic arrivé.
TEST(AnalyseTon, TrousEtDiscontinuitesDeSignauxAbimes) {
  const struct {
    const char* nom;
    std::function<double(std::int64_t, std::int64_t&)> abimer;
    int trous, discontinuites;
    std::vector<std::int64_t> debutsTrous, positions;
    double trousMs;
  } cas[]{
      {"propre", [](std::int64_t, std::int64_t&) { return 1.0; }, 0, 0, {}, {}, 0},
      {"recollement et saut de phase",
       [](std::int64_t n, std::int64_t& phase) {
         if (n == 100'800) phase += 144;
         if (n == 206'400) phase += 37;
         return 1.0;
       },
       0,
       2,
       {},
       {100'800, 206'400},
       0},
      {"silence de 20 ms",
       [](std::int64_t n, std::int64_t&) { return n >= 297'600 && n < 298'560 ? 0.0 : 1.0; },
       1,
       0,
       {297'600},
       {},
       20},
      {"arrivé tard",
       [](std::int64_t n, std::int64_t&) { return n < 30'000 ? 0.0 : 1.0; },
       0,
       0,
       {},
       {},
       0},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    const auto b = analyser(c.abimer);
    EXPECT_EQ(b.trous, c.trous);
    EXPECT_EQ(b.discontinuites, c.discontinuites);
    EXPECT_EQ(b.debutsTrous, c.debutsTrous);
    EXPECT_NEAR(b.trousMs, c.trousMs, 0.1);
    ASSERT_EQ(b.positionsDiscontinuites.size(), c.positions.size());
    for (std::size_t i = 0; i < c.positions.size(); ++i)
      EXPECT_NEAR(b.positionsDiscontinuites[i], c.positions[i], 2);
  }
}

std::vector<double> reperer(double retard, std::int64_t bloc) {
  ReperageClics r;
  for (std::int64_t debut = 0; debut < 120'000; debut += bloc)
    for (std::int64_t n = debut; n < debut + bloc; ++n)
      r.echantillon(n, signal(static_cast<double>(n) - retard));
  return r.positions;
}

// Un retard fractionnaire se retrouve au centième de trame près, même quand le franchissement
// du seuil tombe à cheval sur deux blocs ; la traîne d'un clic (un écho de 100 ms) n'en fait
// pas un second.
TEST(ReperageClics, RetardFractionnaireEtTraine) {
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
  ASSERT_EQ(r.positions.size(), 2U);
  EXPECT_EQ(r.entiers(), (std::vector<std::int64_t>{2, 24'002}));
}

std::vector<double> toutesLes500ms(int n, double decalage) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(500.0 * i + decalage);
  return v;
}

// Seul un clic dans la fenêtre répond ; un clic perdu d'un côté ne décale pas les suivants ;
// un clic en retard de 2 ms, le p99 et le maximum le voient ; sans clic commun, pas d'écart.
TEST(EcartPieces, AppariementEtEcarts) {
  for (const auto& [arrivee, retard] : std::vector<std::pair<double, std::optional<double>>>{
           {-6, std::nullopt}, {-4, -4}, {120, 120}, {399, 399}, {401, std::nullopt}}) {
    EXPECT_EQ(apparier({1000}, {1000 + arrivee}, 400), std::vector{retard}) << arrivee << " ms";
  }
  const auto partis = toutesLes500ms(10, 0);
  auto piece1 = toutesLes500ms(10, 54.2);
  auto piece2 = toutesLes500ms(10, 54.5);
  piece1.erase(piece1.begin() + 3);
  piece2.erase(piece2.begin() + 6);
  piece2[1] += 2;
  const EcartPieces e(apparier(partis, piece1, 400), apparier(partis, piece2, 400));
  ASSERT_EQ(e.parClic.size(), 10U);
  EXPECT_FALSE(e.parClic[3]);
  EXPECT_FALSE(e.parClic[6]);
  ASSERT_EQ(e.valeurs.size(), 8U);
  EXPECT_NEAR(e.medianeMs, 0.3, 1e-9);
  EXPECT_NEAR(e.p99AbsMs, 2.3, 1e-9);
  EXPECT_NEAR(e.maxAbsMs, 2.3, 1e-9);
  const EcartPieces sans(apparier(toutesLes500ms(4, 0), toutesLes500ms(4, 50), 400),
                         apparier(toutesLes500ms(4, 0), {}, 400));
  EXPECT_TRUE(sans.valeurs.empty());
  EXPECT_TRUE(std::isnan(sans.medianeMs));
}

}  // namespace
