// SPDX-License-Identifier: MPL-2.0
// Deux pièces jouées en groupe, en temps simulé : l'écart entre elles quand leurs horloges
// dérivent en sens contraires, sous gigue et pertes. Sa table va dans docs/performance.md.
//   simulation_groupe [durée en secondes] [première graine] [dernière graine]
// Avec des graines, le seul cas du but (±100 ppm, gigue 10 ms, pertes 1 %), une ligne par
// graine.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench/simulation/simulation_groupe.hpp"

using namespace ravlo::simulation;

namespace {

ParametresReseau reseau(double etalementMs, double perte = 0) {
  ParametresReseau p;
  p.delaiMs = 1.0;
  p.etalementMs = etalementMs;
  p.perte = perte;
  return p;
}

struct Cas {
  const char* nom;
  ScenarioGroupe scenario;
};

ScenarioGroupe groupe(double ppm, double etalementMs, double perte, double sortieA, double sortieB,
                      std::uint64_t graine = 7) {
  ScenarioGroupe s;
  s.graine = graine;
  s.pieces[0] = {+ppm, sortieA, 480, reseau(etalementMs, perte), reseau(etalementMs, perte)};
  s.pieces[1] = {-ppm, sortieB, 240, reseau(etalementMs, perte), reseau(etalementMs, perte)};
  return s;
}

// Un arrêt de `ms` de la pièce A à 30 s, sur une boucle propre : son fil ne reçoit rien et sa
// sortie manque de son pendant ce temps. Combien la latence du groupe monte, et en combien de
// temps elle revient à 3 ms de ce qu'elle était avant.
void apresUnArret() {
  std::printf(
      "\nUn arrêt de la pièce A à 30 s, boucle propre ; latence du groupe (ms) et retour "
      "à 3 ms de sa valeur d'avant (s après l'arrêt).\n");
  std::printf(
      "%-10s | avant | plus haut | à +10 s | à +20 s | à +30 s | retour | trous A/B | écart "
      "> 1 ms (s) | écart max\n",
      "arrêt");
  for (const double ms : {5.0, 10.0, 20.0, 30.0, 45.0, 60.0, -20.0, -60.0}) {
    ScenarioGroupe s = groupe(0, 0.3, 0, 15, 15);
    s.dureeS = 120;
    s.pieces[0].aller.arrets = {{30, std::abs(ms)}};
    // Négatif : la sortie, sur son propre fil, n'en a rien su.
    if (ms > 0) s.pieces[0].glissements = {{30 + ms / 1000, ms}};
    const auto r = SimulationGroupe(s).executer();
    const auto& g = r.groupeParSeconde;
    if (g.size() < 61) continue;
    const double avant = g[29];
    const double plusHaut = *std::max_element(g.begin() + 30, g.end());
    std::optional<std::size_t> retour;
    for (std::size_t k = g.size(); k-- > 30 && g[k] <= avant + 3.0;) retour = k;
    std::printf(
        "%7.0f ms | %5.1f | %9.1f | %7.1f | %7.1f | %7.1f | %6s | %4lld/%-4lld | %15.1f | %9.1f\n",
        ms, avant, plusHaut, g[40], g[50], g[60],
        retour ? std::to_string(*retour - 30).c_str() : "—",
        static_cast<long long>(r.trousApresMesure[0]),
        static_cast<long long>(r.trousApresMesure[1]), r.ecartHorsDe1MsS, r.ecartMaxMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const double duree = argc > 1 ? std::atof(argv[1]) : 120.0;
  std::vector<std::string> noms;
  std::vector<Cas> cas;
  if (argc > 3) {
    for (auto g = std::strtoull(argv[2], nullptr, 10); g <= std::strtoull(argv[3], nullptr, 10);
         ++g)
      noms.push_back("±100 ppm, gigue 10 ms, pertes 1 %, graine " + std::to_string(g));
    for (std::size_t i = 0; i < noms.size(); ++i)
      cas.push_back({noms[i].c_str(),
                     groupe(100, 10, 0.01, 15, 25, std::strtoull(argv[2], nullptr, 10) + i)});
  } else {
    cas = {
        {"boucle propre, mêmes horloges", groupe(0, 0.3, 0, 15, 15)},
        {"±100 ppm, gigue 2 ms", groupe(100, 2, 0, 15, 25)},
        {"±100 ppm, gigue 10 ms, pertes 1 %", groupe(100, 10, 0.01, 15, 25)},
        {"±100 ppm, gigue 10 ms, pertes 1 %, graine 8", groupe(100, 10, 0.01, 15, 25, 8)},
        {"±100 ppm, gigue 30 ms, pertes 1 %", groupe(100, 30, 0.01, 15, 25)},
    };
  }
  std::printf("%.0f s simulées par cas, écarts comptés après 10 s ; ms.\n", duree);
  std::printf(
      "%-46s | écart méd. | écart p99 | écart max | latence A | latence B | groupe | "
      "trous A/B | recalages A/B\n",
      "cas");
  for (auto& c : cas) {
    c.scenario.dureeS = duree;
    const auto r = SimulationGroupe(c.scenario).executer();
    std::printf(
        "%-46s | %10.3f | %9.3f | %9.3f | %9.1f | %9.1f | %6.1f | %4lld/%-4lld | %lld/%lld\n",
        c.nom, r.ecartMedianMs, r.ecartP99Ms, r.ecartMaxMs, r.latenceMs[0], r.latenceMs[1],
        r.latenceGroupeMs.value_or(0), static_cast<long long>(r.trousApresMesure[0]),
        static_cast<long long>(r.trousApresMesure[1]), static_cast<long long>(r.recalages[0]),
        static_cast<long long>(r.recalages[1]));
  }
  if (argc <= 3) apresUnArret();
}
