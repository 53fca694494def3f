// SPDX-License-Identifier: MPL-2.0
// Le ton d'un enregistrement (s16le stéréo à 48 kHz sur l'entrée standard, tel que parec le
// livre) : attend qu'il commence, laisse passer --attente ms, puis le suit --secondes durant,
// et imprime une ligne JSON : trous, discontinuités, niveau efficace le plus bas, médian et le
// plus haut des tranches de 100 ms. Sort dès la fin de la période, ou en 3 si le ton n'est
// jamais venu (ou l'enregistrement a fini avant la période).
//
//   ton_continu [--niveau CRÊTE] [--attente MS] [--secondes S] [--limite S]
//
// Le suivi échantillon par échantillon est celui de mesure_bout_a_bout (bench/analyse_ton.hpp),
// dont les seuils valent pour un ton de crête 0,02 : le signal y entre ramené à cette crête, si
// bien qu'un trou est une chute sous 5 % du niveau, une discontinuité un écart de 20 %.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "bench/analyse_ton.hpp"

namespace {

using ravlo::mesure::AnalyseTon;

constexpr double creteAnalyse = 0.02;
constexpr std::int64_t tranche = 4800;  // 100 ms

struct Reglages {
  double niveau = 0.5;  // crête attendue : --ton joue à −6 dBFS
  double attenteMs = 1000;
  double secondes = 20;
  double limite = 60;  // secondes d'enregistrement au plus avant que le ton commence
};

bool lire(int argc, char** argv, Reglages& r) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view option = argv[i];
    const double valeur = std::strtod(argv[i + 1], nullptr);
    if (option == "--niveau")
      r.niveau = valeur;
    else if (option == "--attente")
      r.attenteMs = valeur;
    else if (option == "--secondes")
      r.secondes = valeur;
    else if (option == "--limite")
      r.limite = valeur;
    else
      return false;
  }
  return argc % 2 == 1 && r.niveau > 0 && r.secondes > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Reglages r;
  if (!lire(argc, argv, r)) {
    std::fprintf(stderr,
                 "usage : ton_continu [--niveau C] [--attente MS] [--secondes S] "
                 "[--limite S]\n");
    return 2;
  }
  const double echelle = creteAnalyse / r.niveau;
  const auto attente = static_cast<std::int64_t>(r.attenteMs * 48);
  const auto duree = static_cast<std::int64_t>(r.secondes * 48'000);
  const auto limite = static_cast<std::int64_t>(r.limite * 48'000);

  AnalyseTon ton;
  std::int64_t position = 0;
  std::int64_t debut = -1;  // la première trame du ton, à plus de la moitié de sa crête
  std::int64_t suivies = 0;
  double somme = 0;
  std::vector<double> efficaces;
  std::int64_t dansTranche = 0;

  std::vector<std::int16_t> bloc(2 * 480);
  for (;;) {
    const std::size_t lues = std::fread(bloc.data(), sizeof(std::int16_t) * 2, 480, stdin);
    if (lues == 0) break;
    for (std::size_t i = 0; i < lues; ++i, ++position) {
      const double x = bloc[2 * i] / 32768.0;
      if (debut < 0) {
        if (std::fabs(x) > r.niveau / 2)
          debut = position;
        else if (position > limite)
          break;
        continue;
      }
      if (position < debut + attente) continue;
      ton.echantillon(suivies, x * echelle);
      somme += x * x;
      if (++dansTranche == tranche) {
        efficaces.push_back(std::sqrt(somme / tranche));
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

  std::ranges::sort(efficaces);
  const auto efficace = [&](double quantile) {
    return efficaces.empty() ? 0.0
                             : efficaces[static_cast<std::size_t>(
                                   quantile * static_cast<double>(efficaces.size() - 1))];
  };
  double trousMs = 0;
  for (const auto& t : ton.trous) trousMs += static_cast<double>(t.second) / 48;
  std::printf(
      "{\"debutS\": %.3f, \"suiviesS\": %.3f, \"trous\": %zu, \"trousMs\": %.1f, "
      "\"discontinuites\": %zu, \"efficaceMin\": %.4f, \"efficaceMediane\": %.4f, "
      "\"efficaceMax\": %.4f",
      debut < 0 ? -1.0 : static_cast<double>(debut) / 48'000, static_cast<double>(suivies) / 48'000,
      ton.trous.size(), trousMs, ton.discontinuites.size(), efficace(0), efficace(0.5),
      efficace(1));
  std::printf(", \"positionsS\": [");
  const char* sep = "";
  for (const auto& t : ton.trous) {
    std::printf("%s%.3f", sep, static_cast<double>(t.first) / 48'000);
    sep = ", ";
  }
  for (const auto p : ton.discontinuites) {
    std::printf("%s%.3f", sep, static_cast<double>(p) / 48'000);
    sep = ", ";
  }
  std::printf("]}\n");
  std::fflush(stdout);
  return suivies == duree ? 0 : 3;
}
