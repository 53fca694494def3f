// SPDX-License-Identifier: MPL-2.0
// Le rééchantillonneur face au sinus idéal : erreur aux rapports 1 et 1 ± 0,001, continuité
// quand le rapport change en cours de route, entrée consommée sur une longue durée.
#include "recepteur/reechantillonneur.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace ravlo {
namespace {

constexpr double amplitude = 0.5;

// Un sinus à gauche, le cosinus à droite, compté en trames données.
class SourceSinus final : public Reechantillonneur::Source {
 public:
  explicit SourceSinus(double hz) : pulsation_(2 * std::numbers::pi * hz / 48'000) {}

  void fournir(std::span<float> gauche, std::span<float> droite, double) override {
    for (std::size_t i = 0; i < gauche.size(); ++i, ++donnees) {
      gauche[i] = static_cast<float>(amplitude * std::sin(ideal(static_cast<double>(donnees))));
      droite[i] = static_cast<float>(amplitude * std::cos(ideal(static_cast<double>(donnees))));
    }
  }
  /// La phase à la position `p` de l'entrée : ce que la sortie y doit valoir.
  [[nodiscard]] double ideal(double p) const { return pulsation_ * p; }

  std::int64_t donnees = 0;

 private:
  double pulsation_;
};

// Produit des blocs de `tramesBloc` trames aux rapports donnés et compare chaque trame de
// sortie au sinus pris à sa position, celle-ci tenue à part en sommant les pas.
struct Mesure {
  double erreurDb = 0;      ///< énergie de l'écart sur celle du sinus, les deux voies
  double plusHautSaut = 0;  ///< d'une trame de sortie à la suivante, voie gauche
};
Mesure mesurer(double hz, const std::vector<double>& rapports, std::size_t tramesBloc) {
  Reechantillonneur r;
  SourceSinus source(hz);
  std::vector<float> bloc(2 * tramesBloc);
  double p = 0;
  double ecart = 0;
  double energie = 0;
  Mesure m;
  float precedente = 0;
  // Le départ mêle le silence d'avant au sinus : hors mesure.
  std::size_t ignorer = 64;
  for (const double rapport : rapports) {
    r.produire(bloc, rapport, source);
    for (std::size_t i = 0; i < tramesBloc; ++i, p += 1 / rapport) {
      const double g = bloc[2 * i];
      const double d = bloc[2 * i + 1];
      if (ignorer > 0) {
        --ignorer;
      } else {
        const double eg = g - amplitude * std::sin(source.ideal(p));
        const double ed = d - amplitude * std::cos(source.ideal(p));
        ecart += eg * eg + ed * ed;
        energie += 2 * (amplitude * amplitude / 2);
        m.plusHautSaut = std::max(m.plusHautSaut, std::abs(g - precedente));
      }
      precedente = static_cast<float>(g);
    }
  }
  EXPECT_NEAR(r.position(), p, 1e-6);
  m.erreurDb = 10 * std::log10(ecart / energie);
  return m;
}

// L'erreur mesurée contre le sinus idéal au rapport demandé : une fréquence de sortie fausse
// de 10⁻⁵ y coûterait déjà plus que le plafond (à 15 kHz, un radian de phase en 2 s).
TEST(Reechantillonneur, SuitLeSinusIdealAuRapportDemande) {
  struct Cas {
    double hz;
    double rapport;
    double plafondDb;
  };
  for (const Cas c : {Cas{1000, 1.0, -105}, Cas{1000, 1.001, -105}, Cas{1000, 0.999, -105},
                      Cas{15'000, 1.0, -100}, Cas{15'000, 1.001, -100}, Cas{15'000, 0.999, -100},
                      Cas{19'000, 1.001, -95}}) {
    const Mesure m = mesurer(c.hz, std::vector<double>(200, c.rapport), 480);
    EXPECT_LT(m.erreurDb, c.plafondDb) << c.hz << " Hz au rapport " << c.rapport;
  }
}

// Le rapport change à chaque bloc, entre 0,998 et 1,002 : la position continue, le son aussi.
// Une position refaite au changement ferait une marche jusqu'au double de la pente et
// s'écarterait du sinus idéal.
TEST(Reechantillonneur, ChangerDeRapportNeFaitPasDeMarche) {
  std::vector<double> rapports;
  rapports.reserve(120);
  for (int i = 0; i < 120; ++i) rapports.push_back(1 + (i % 5 - 2) * 0.001);
  constexpr double hz = 1000;
  const Mesure m = mesurer(hz, rapports, 441);
  const double penteMax = amplitude * 2 * std::numbers::pi * hz / 48'000 * 1.002;
  EXPECT_LT(m.plusHautSaut, penteMax * 1.001);
  EXPECT_GT(m.plusHautSaut, penteMax * 0.99) << "la pente du sinus doit avoir été vue";
  EXPECT_LT(m.erreurDb, -105);
}

// Une minute de sortie : la position avance de 1 ÷ rapport par trame, et la source n'a donné
// que ce que la position lira, plus l'avance du filtre et au plus un morceau.
TEST(Reechantillonneur, ConsommeLEntreeAuRapport) {
  for (const double ppm : {300.0, -1000.0, 1000.0, 0.0}) {
    Reechantillonneur r;
    SourceSinus source(440);
    std::vector<float> bloc(2 * 480);
    const double rapport = 1 / (1 + ppm * 1e-6);
    constexpr std::int64_t blocs = 6000;
    for (std::int64_t i = 0; i < blocs; ++i) r.produire(bloc, rapport, source);
    const double attendu = blocs * 480 * (1 + ppm * 1e-6);
    EXPECT_NEAR(r.position(), attendu, 1e-3) << ppm;
    EXPECT_GE(static_cast<double>(source.donnees), attendu + Reechantillonneur::prises / 2.0 - 1)
        << ppm;
    EXPECT_LE(static_cast<double>(source.donnees),
              attendu + Reechantillonneur::prises / 2.0 + Reechantillonneur::tramesParMorceau + 1)
        << ppm;
  }
}

}  // namespace
}  // namespace ravlo
