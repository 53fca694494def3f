// SPDX-License-Identifier: MPL-2.0
// Le ton d'un enregistrement (s16le stéréo à 48 kHz sur l'entrée standard, tel que parec le
// livre) : attend qu'il commence, laisse passer ATTENTE_MS, puis le suit SECONDES durant,
// et imprime une ligne JSON : trous, discontinuités, niveau efficace le plus bas et le plus
// haut des tranches de 100 ms. Sort dès la fin de la période, ou en 3 si le ton n'est jamais
// venu (ou l'enregistrement a fini avant la période).
//
//   ton_continu CRÊTE ATTENTE_MS SECONDES LIMITE_S
//
// CRÊTE : celle du ton attendu (--ton joue à 0,5, −6 dBFS) ; LIMITE_S : les secondes
// d'enregistrement au plus avant que le ton commence.
//
// Le suivi échantillon par échantillon est celui de mesure_bout_a_bout (bench/analyse_ton.hpp),
// dont les seuils valent pour un ton de crête 0,02 : le signal y entre ramené à cette crête, si
// bien qu'un trou est une chute sous 5 % du niveau, une discontinuité un écart de 20 %.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/analyse_ton.hpp"

namespace {

using ravlo::mesure::AnalyseTon;

constexpr double creteAnalyse = 0.02;
constexpr std::int64_t tranche = 4800;  // 100 ms

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage : ton_continu CRÊTE ATTENTE_MS SECONDES LIMITE_S\n");
    return 2;
  }
  const double niveau = std::strtod(argv[1], nullptr);
  const double echelle = creteAnalyse / niveau;
  const auto attente = static_cast<std::int64_t>(std::strtod(argv[2], nullptr) * 48);
  const auto duree = static_cast<std::int64_t>(std::strtod(argv[3], nullptr) * 48'000);
  const auto limite = static_cast<std::int64_t>(std::strtod(argv[4], nullptr) * 48'000);

  AnalyseTon ton;
  std::int64_t position = 0;
  std::int64_t debut = -1;  // la première trame du ton, à plus de la moitié de sa crête
  std::int64_t suivies = 0;
  double somme = 0, efficaceMin = 1e9, efficaceMax = 0;
  std::int64_t dansTranche = 0;

  std::vector<std::int16_t> bloc(2 * 480);
  for (;;) {
    const std::size_t lues = std::fread(bloc.data(), sizeof(std::int16_t) * 2, 480, stdin);
    if (lues == 0) break;
    for (std::size_t i = 0; i < lues; ++i, ++position) {
      const double x = bloc[2 * i] / 32768.0;
      if (debut < 0) {
        if (std::fabs(x) > niveau / 2)
          debut = position;
        else if (position > limite)
          break;
        continue;
      }
      if (position < debut + attente) continue;
      ton.echantillon(suivies, x * echelle);
      somme += x * x;
      if (++dansTranche == tranche) {
        const double efficace = std::sqrt(somme / tranche);
        efficaceMin = std::min(efficaceMin, efficace);
        efficaceMax = std::max(efficaceMax, efficace);
        somme = 0;
        dansTranche = 0;
      }
      if (++suivies == duree) break;
    }
    if (suivies == duree || (debut < 0 && position > limite)) break;
  }
  // Les deux premières trames n'ont pas de passé : la sinusoïde ne peut pas les prédire.
  std::erase_if(ton.discontinuites, [](std::int64_t p) { return p < 2; });
  // Un silence qui dure jusqu'à la fin est un trou que le ton ne referme pas.
  if (ton.debutSilence >= 0 && suivies - ton.debutSilence >= AnalyseTon::trouMin)
    ton.trous.emplace_back(ton.debutSilence, suivies - ton.debutSilence);

  double trousMs = 0;
  for (const auto& t : ton.trous) trousMs += static_cast<double>(t.second) / 48;
  std::printf(
      "{\"debutS\": %.3f, \"suiviesS\": %.3f, \"trous\": %zu, \"trousMs\": %.1f, "
      "\"discontinuites\": %zu, \"efficaceMin\": %.4f, \"efficaceMax\": %.4f",
      debut < 0 ? -1.0 : static_cast<double>(debut) / 48'000, static_cast<double>(suivies) / 48'000,
      ton.trous.size(), trousMs, ton.discontinuites.size(), efficaceMax > 0 ? efficaceMin : 0.0,
      efficaceMax);
  // Où sont les discontinuités puis les trous, en s depuis le début du suivi.
  std::printf(", \"positionsS\": [");
  const char* sep = "";
  for (const auto& t : ton.trous) ton.discontinuites.push_back(t.first);
  for (const auto p : ton.discontinuites) {
    std::printf("%s%.3f", sep, static_cast<double>(p) / 48'000);
    sep = ", ";
  }
  std::printf("]}\n");
  std::fflush(stdout);
  return suivies == duree ? 0 : 3;
}
