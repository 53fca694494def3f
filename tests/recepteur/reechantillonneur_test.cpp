// SPDX-License-Identifier: MPL-2.0
// Le rééchantillonneur face au sinus idéal : erreur aux rapports 1 et 1 ± 0,001, continuité
// quand le rapport change en cours de route, entrée consommée au rapport ; vers une autre
// fréquence de sortie (44,1 et 96 kHz), même chose, et rien de replié au-dessus de la moitié
// de la sortie.
#include "recepteur/reechantillonneur.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ravlo {
namespace {

constexpr double amplitude = 0.5;

// Un sinus à gauche, le cosinus à droite, compté en trames données.
struct SourceSinus final : Reechantillonneur::Source {
  explicit SourceSinus(double hz) : pulsation(2 * std::numbers::pi * hz / 48'000) {}
  void fournir(std::span<float> gauche, std::span<float> droite, double) override {
    for (std::size_t i = 0; i < gauche.size(); ++i, ++donnees) {
      gauche[i] =
          static_cast<float>(amplitude * std::sin(pulsation * static_cast<double>(donnees)));
      droite[i] =
          static_cast<float>(amplitude * std::cos(pulsation * static_cast<double>(donnees)));
    }
  }
  double pulsation;
  std::int64_t donnees = 0;
};

// Produit des blocs de `tramesBloc` trames aux rapports donnés et compare chaque trame de
// sortie au sinus pris à sa position, celle-ci tenue à part en sommant les pas. Rend l'énergie
// de l'écart sur celle du sinus (dB, les deux voies) et le plus haut saut d'une trame de
// sortie à la suivante (voie gauche). Le départ mêle le silence d'avant au sinus : hors mesure.
std::pair<double, double> mesurer(double hz, const std::vector<double>& rapports,
                                  std::size_t tramesBloc, double base = 1) {
  Reechantillonneur r(base);
  SourceSinus source(hz);
  std::vector<float> bloc(2 * tramesBloc);
  double p = 0, ecart = 0, energie = 0, saut = 0, precedente = 0;
  std::size_t ignorer = 64;
  for (const double rapport : rapports) {
    r.produire(bloc, rapport, source);
    for (std::size_t i = 0; i < tramesBloc; ++i, p += 1 / (rapport * base)) {
      const double g = bloc[2 * i], d = bloc[2 * i + 1];
      if (ignorer == 0) {
        ecart += std::pow(g - amplitude * std::sin(source.pulsation * p), 2) +
                 std::pow(d - amplitude * std::cos(source.pulsation * p), 2);
        energie += amplitude * amplitude;
        saut = std::max(saut, std::abs(g - precedente));
      } else {
        --ignorer;
      }
      precedente = g;
    }
  }
  EXPECT_NEAR(r.position(), p, 1e-6);
  // La source n'a donné que ce que la position lira, plus l'avance du filtre et au plus un
  // morceau.
  const double lu = p + Reechantillonneur::prises / 2.0;
  EXPECT_GE(static_cast<double>(source.donnees), lu - 1);
  EXPECT_LE(static_cast<double>(source.donnees), lu + Reechantillonneur::tramesParMorceau + 1);
  return {10 * std::log10(ecart / energie), saut};
}

// Énergie de la sortie sur celle de l'entrée (dB), départ exclu.
double gainDb(double hz, double base) {
  Reechantillonneur r(base);
  SourceSinus source(hz);
  std::vector<float> bloc(2 * 441);
  double energie = 0;
  std::size_t n = 0;
  for (int b = 0; b < 200; ++b) {
    r.produire(bloc, 1.0, source);
    if (b < 2) continue;
    for (const float v : bloc) energie += static_cast<double>(v) * v;
    n += bloc.size();
  }
  return 10 * std::log10(energie / static_cast<double>(n) / (amplitude * amplitude / 2));
}

// L'erreur mesurée contre le sinus idéal au rapport demandé, vers 48 kHz puis vers les
// fréquences d'un contexte audio de navigateur (44,1 kHz souvent, 96 kHz parfois) : une
// fréquence de sortie fausse de 10⁻⁵ y coûterait déjà plus que le plafond (à 15 kHz, un radian
// de phase en 2 s). Ce que 44,1 kHz ne porte pas (au-dessus de 22,05 kHz) se replierait dans
// l'audible : la coupure descend. Puis le rapport change à chaque bloc, entre 0,998 et 1,002 :
// la position continue, le son aussi ; une position refaite au changement ferait une marche
// jusqu'au double de la pente et s'écarterait du sinus idéal.
TEST(Reechantillonneur, SuitLeSinusIdealSansRepliEtChangerDeRapportNeFaitPasDeMarche) {
  constexpr double vers441 = 44'100.0 / 48'000;
  for (const auto& [hz, base, rapport, plafondDb] : {std::tuple{1000., 1., 1.0, -105.},
                                                     {1000., 1., 1.001, -105.},
                                                     {1000., 1., 0.999, -105.},
                                                     {15'000., 1., 1.0, -100.},
                                                     {15'000., 1., 1.001, -100.},
                                                     {15'000., 1., 0.999, -100.},
                                                     {19'000., 1., 1.001, -95.},
                                                     {1000., vers441, 1.0, -100.},
                                                     {1000., vers441, 1.001, -100.},
                                                     {15'000., vers441, 0.999, -90.},
                                                     {1000., 2.0, 1.001, -100.},
                                                     {19'000., 2.0, 1.0, -95.}}) {
    EXPECT_LT(mesurer(hz, std::vector<double>(200, rapport), 441, base).first, plafondDb)
        << hz << " Hz vers " << 48'000 * base << " Hz au rapport " << rapport;
  }
  for (const auto& [hz, plafondDb] : {std::pair{23'000., -10.}, {23'500., -15.}}) {
    EXPECT_LT(gainDb(hz, vers441), plafondDb) << hz << " Hz vers 44,1 kHz";
  }
  std::vector<double> rapports;
  for (int i = 0; i < 120; ++i) rapports.push_back(1 + (i % 5 - 2) * 0.001);
  const auto [erreurDb, saut] = mesurer(1000, rapports, 441);
  const double penteMax = amplitude * 2 * std::numbers::pi * 1000 / 48'000 * 1.002;
  EXPECT_LT(saut, penteMax * 1.001);
  EXPECT_GT(saut, penteMax * 0.99) << "la pente du sinus doit avoir été vue";
  EXPECT_LT(erreurDb, -105);
}

}  // namespace
}  // namespace ravlo
