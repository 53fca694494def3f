// SPDX-License-Identifier: MPL-2.0
// Le décalage d'horloges du récepteur : échanges simulés sous gigue, horloge locale dérivant
// par rapport à celle de l'émetteur.
#include "recepteur/suivi_decalage.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "bench/simulation/alea.hpp"

namespace ravlo {
namespace {

constexpr InstantNs origineLocale = 50'000'000'000;
constexpr std::int64_t decalageDepart = 7'000'000'000;  // émetteur moins local

// Une question toutes les 200 ms pendant `secondes`, chaque sens retardé de 1 ms plus
// uniforme(0, gigue) ; rend l'erreur absolue de l'estimation à la fin, ns.
double simuler(double ppm, double gigueMs, double secondes, std::uint64_t graine) {
  // L'heure locale à l'instant vrai t, et le vrai décalage (émetteur moins local) à t.
  const auto locale = [&](double t) {
    return origineLocale + static_cast<InstantNs>(std::llround(t * (1 + ppm * 1e-6)));
  };
  const auto decalage = [&](double t) {
    return static_cast<double>(decalageDepart) - t * ppm * 1e-6;
  };
  simulation::Alea alea(graine);
  SynchroHorloges synchro;
  SuiviDecalage suivi;
  double t = 0;
  for (; t < secondes * 1e9; t += 200e6) {
    const double aller = 1e6 + alea.uniforme() * gigueMs * 1e6;
    const double retour = 1e6 + alea.uniforme() * gigueMs * 1e6;
    const InstantNs t1 = locale(t);
    const auto distante = [&](double tv) {
      return static_cast<InstantNs>(static_cast<double>(locale(tv)) + decalage(tv));
    };
    auto reponse = MessageHorloge::question(t1).reponse(distante(t + aller), distante(t + aller));
    if (synchro.enregistrer(reponse, locale(t + aller + retour)))
      suivi.noter(synchro.echanges().back());
  }
  return std::abs(static_cast<double>(*suivi.decalageNs(locale(t))) - decalage(t));
}

TEST(SuiviDecalage, TientLeDecalageSousGigueEtDerive) {
  // (dérive ppm, gigue ms, tolérance ms)
  for (const auto& [ppm, gigueMs, toleranceMs] : {std::tuple{0.0, 0.0, 0.01},
                                                  {100.0, 0.0, 0.05},
                                                  {0.0, 10.0, 0.5},
                                                  {-100.0, 10.0, 0.5},
                                                  {300.0, 2.0, 0.2}}) {
    SCOPED_TRACE(ppm);
    SCOPED_TRACE(gigueMs);
    double pire = 0;
    for (std::uint64_t graine = 1; graine <= 20; ++graine)
      pire = std::max(pire, simuler(ppm, gigueMs, 60, graine));
    EXPECT_LE(pire / 1e6, toleranceMs);
  }
}

TEST(SuiviDecalage, RienSansEchangeFraisEtUnRedemarrageOublieLeReste) {
  SuiviDecalage suivi;
  EXPECT_FALSE(suivi.decalageNs(origineLocale));
  for (int i = 0; i < 50; ++i) {
    suivi.noter({.decalage = 1'000'000,
                 .allerRetour = 2'000'000,
                 .reception = origineLocale + static_cast<InstantNs>(i) * 200'000'000});
  }
  const InstantNs fin = origineLocale + 49 * InstantNs{200'000'000};
  EXPECT_EQ(suivi.decalageNs(fin), 1'000'000);
  EXPECT_FALSE(suivi.decalageNs(fin + SynchroHorloges::fraicheurNs + 1));
  // Le pair a redémarré : son horloge a sauté de 5 s, l'ancien historique ne compte plus.
  suivi.noter({.decalage = 5'001'000'000, .allerRetour = 9'000'000, .reception = fin + 1});
  EXPECT_EQ(suivi.decalageNs(fin + 1), 5'001'000'000);
}

}  // namespace
}  // namespace ravlo
