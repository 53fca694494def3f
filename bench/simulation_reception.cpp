// SPDX-License-Identifier: MPL-2.0
// Simulation déterministe d'un récepteur complet, 10 minutes simulées par scénario : la
// table qu'elle imprime sert de référence aux réglages futurs de la lecture et du pilote.
//   simulation_reception [durée en secondes]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/simulation/simulation_reception.hpp"

using ravlo::simulation::ParametresReseau;
using ravlo::simulation::Scenario;
using ravlo::simulation::SimulationReception;

namespace {

ParametresReseau reseau(double etalementMs, double perte = 0, double inversion = 0,
                        double rafaleToutesLesS = 0) {
  ParametresReseau p;
  p.etalementMs = etalementMs;
  p.perte = perte;
  p.inversion = inversion;
  p.rafaleToutesLesS = rafaleToutesLesS;
  return p;
}

Scenario scenario(const char* nom, double ppm, std::int64_t bloc, ParametresReseau aller,
                  double minuterieMs = 0) {
  Scenario s;
  s.nom = nom;
  s.decalagePPM = ppm;
  s.blocTrames = bloc;
  s.aller = aller;
  s.retour = aller;
  s.minuterieEmetteurMs = minuterieMs;
  return s;
}

// Largeur comptée en caractères, pas en octets : les noms portent des lettres accentuées.
std::string colonne(const std::string& texte, std::size_t largeur) {
  std::size_t caracteres = 0;
  for (unsigned char c : texte) caracteres += (c & 0xC0) != 0x80;
  return texte + std::string(largeur > caracteres ? largeur - caracteres : 0, ' ');
}

}  // namespace

int main(int argc, char** argv) {
  const double duree = argc > 1 ? std::atof(argv[1]) : 600.0;
  std::vector<Scenario> scenarios{
      scenario("gigue 2 ms, +100 ppm, bloc 512", 100, 512, reseau(2)),
      scenario("gigue 2 ms, -300 ppm, bloc 256", -300, 256, reseau(2)),
      scenario("gigue 2 ms, +300 ppm, bloc 512", 300, 512, reseau(2)),
      scenario("gigue 10 ms, +300 ppm, bloc 512", 300, 512, reseau(10)),
      scenario("gigue 30 ms, -100 ppm, bloc 512", -100, 512, reseau(30)),
      scenario("gigue 10 ms, pertes 1 %, +50 ppm", 50, 512, reseau(10, 0.01)),
      scenario("gigue 10 ms, pertes 1 %, inversions 0,5 %, +50 ppm", 50, 512,
               reseau(10, 0.01, 0.005)),
      scenario("gigue 10 ms, pertes 1 %, inversions 0,5 %, bloc 96", 50, 96,
               reseau(10, 0.01, 0.005)),
      scenario("gigue 2 ms, rafales 100 ms ~ 60 s, +200 ppm", 200, 512, reseau(2, 0, 0, 60)),
      scenario("gigue 30 ms, rafales ~ 30 s, pertes 0,5 %, -300 ppm", -300, 256,
               reseau(30, 0.005, 0.002, 30)),
      scenario("minuterie d'envoi 5 ms, gigue 2 ms, +100 ppm", 100, 512, reseau(2), 5),
  };

  std::printf("%.0f s simulées par scénario ; latences en ms, vitesses en ppm.\n", duree);
  std::printf(
      "%s | lat. moy | lat. p99 | trous/h | sautées | rattrap. | cible | v vraie | v moy>60s | "
      "écart max | ±20 ppm | convergée | lat. estimée | masqués | tardifs | réordonnés\n",
      colonne("scénario", 52).c_str());
  for (auto& s : scenarios) {
    s.dureeS = duree;
    const auto r = SimulationReception(s).executer();
    std::printf(
        "%s | %8.1f | %8.1f | %7.0f | %7lld | %8lld | %5.1f | %7.1f | %9.1f | %9.1f | %6.0f%% | "
        "%-9s | %12.1f | %7lld | %7lld | %lld\n",
        colonne(s.nom, 52).c_str(), r.latenceMoyenneMs, r.latenceP99Ms, r.trousParHeure,
        static_cast<long long>(r.tramesSautees), static_cast<long long>(r.rattrapages),
        r.cibleMs.value_or(0), r.vitesseVraiePPM, r.vitesseMoyenneApres60sPPM.value_or(0),
        r.ecartMaxApres60sPPM, 100 * r.partDansLaBande, r.converge ? "oui" : "non",
        r.latenceEstimeeMs.value_or(0), static_cast<long long>(r.paquetsMasques),
        static_cast<long long>(r.paquetsTardifs), static_cast<long long>(r.paquetsReordonnes));
  }
}
