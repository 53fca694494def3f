// SPDX-License-Identifier: MPL-2.0
// Le décalage d'horloges que suit le pilote en groupe, face à celui de SynchroHorloges seul :
// échanges simulés sous gigue, horloge locale dérivant par rapport à celle de l'émetteur.
#include "recepteur/suivi_decalage.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "bench/simulation/alea.hpp"

namespace ravlo {
namespace {

constexpr InstantNs origineLocale = 50'000'000'000;
constexpr std::int64_t decalageDepart = 7'000'000'000;  // émetteur moins local

struct Horloges {
  double ppm = 0;
  // L'heure locale à l'instant vrai t, et le vrai décalage (émetteur moins local) à t.
  [[nodiscard]] InstantNs locale(double t) const {
    return origineLocale + static_cast<InstantNs>(std::llround(t * (1 + ppm * 1e-6)));
  }
  [[nodiscard]] double decalage(double t) const {
    return static_cast<double>(decalageDepart) - t * ppm * 1e-6;
  }
};

// Une question toutes les 200 ms pendant `secondes`, chaque sens retardé de 1 ms plus
// uniforme(0, gigue) ; rend l'erreur absolue de chaque estimation à la fin, ns.
struct Erreurs {
  double suivi = 0;
  double synchro = 0;
};

Erreurs simuler(const Horloges& h, double gigueMs, double secondes, std::uint64_t graine) {
  simulation::Alea alea(graine);
  SynchroHorloges synchro;
  SuiviDecalage suivi;
  double t = 0;
  for (; t < secondes * 1e9; t += 200e6) {
    const double aller = 1e6 + alea.uniforme() * gigueMs * 1e6;
    const double retour = 1e6 + alea.uniforme() * gigueMs * 1e6;
    const InstantNs t1 = h.locale(t);
    const auto distante = [&](double tv) {
      return static_cast<InstantNs>(static_cast<double>(h.locale(tv)) + h.decalage(tv));
    };
    auto reponse = MessageHorloge::question(t1).reponse(distante(t + aller), distante(t + aller));
    if (synchro.enregistrer(reponse, h.locale(t + aller + retour)))
      suivi.noter(synchro.echanges().back());
  }
  const InstantNs maintenant = h.locale(t);
  Erreurs e;
  e.suivi = std::abs(static_cast<double>(*suivi.decalageNs(maintenant)) - h.decalage(t));
  e.synchro = std::abs(static_cast<double>(*synchro.decalageNs(maintenant)) - h.decalage(t));
  return e;
}

TEST(SuiviDecalage, TientLeDecalageSousGigueEtDerive) {
  struct Cas {
    const char* nom;
    double ppm;
    double gigueMs;
    double toleranceMs;
  };
  for (const Cas& c :
       {Cas{"sans gigue ni dérive", 0, 0, 0.01}, Cas{"+100 ppm sans gigue", 100, 0, 0.05},
        Cas{"gigue 10 ms", 0, 10, 0.5}, Cas{"−100 ppm, gigue 10 ms", -100, 10, 0.5},
        Cas{"+300 ppm, gigue 2 ms", 300, 2, 0.2}}) {
    SCOPED_TRACE(c.nom);
    double pireSuivi = 0, pireSynchro = 0;
    for (std::uint64_t graine = 1; graine <= 20; ++graine) {
      const auto e = simuler(Horloges{c.ppm}, c.gigueMs, 60, graine);
      pireSuivi = std::max(pireSuivi, e.suivi);
      pireSynchro = std::max(pireSynchro, e.synchro);
    }
    EXPECT_LE(pireSuivi / 1e6, c.toleranceMs);
    // Sous gigue, les seuls 8 derniers échanges se trompent bien plus.
    if (c.gigueMs >= 10) {
      EXPECT_GT(pireSynchro, 2 * pireSuivi);
    }
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
