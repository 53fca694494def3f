// SPDX-License-Identifier: MPL-2.0
// Coût du chemin de la capture (rappel : comptage, conversion, niveau, écriture dans
// l'anneau) par seconde de son, en blocs de 5 ms comme les livre PulseAudio.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "link/capture/rappel_capture.hpp"

namespace {

using namespace ravlo;

constexpr std::size_t tramesParBloc = 240;  // 5 ms
constexpr int blocsParSeconde = 200;

void capturerUneSeconde(benchmark::State& etat) {
  std::vector<float> flux(2 * tramesParBloc);
  for (std::size_t i = 0; i < flux.size(); ++i)
    flux[i] = static_cast<float>(i % 200) / 150.0f - 0.6f;
  std::vector<std::int16_t> conversion(16'384);
  auto tampon = std::make_shared<TamponAudio>(96'000);
  const ContexteRappel contexte{std::make_shared<Cellule<Livraisons>>(), conversion,
                                std::make_shared<Cellule<float>>(), tampon};
  InstantNs heure = 1'000'000'000;
  for (auto _ : etat) {
    for (int i = 0; i < blocsParSeconde; ++i) {
      traiterBloc(contexte, {flux, 0, heure});
      heure += 5'000'000;
      // L'émetteur vide l'anneau au même rythme.
      tampon->jeter(static_cast<std::int64_t>(tramesParBloc) * 4);
    }
  }
  etat.counters["CPU par seconde de son"] = benchmark::Counter(
      1.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(capturerUneSeconde)->Name("capture : 1 s de son en 200 blocs de 240 trames");

void capturerUnBloc(benchmark::State& etat) {
  const auto trames = static_cast<std::size_t>(etat.range(0));
  std::vector<float> flux(2 * trames, 0.25f);
  std::vector<std::int16_t> conversion(16'384);
  auto tampon = std::make_shared<TamponAudio>(1 << 20);
  const ContexteRappel contexte{std::make_shared<Cellule<Livraisons>>(), conversion,
                                std::make_shared<Cellule<float>>(), tampon};
  for (auto _ : etat) {
    traiterBloc(contexte, {flux, 0, InstantNs{0}});
    tampon->jeter(static_cast<std::int64_t>(trames) * 4);
  }
  etat.counters["trame"] = benchmark::Counter(
      static_cast<double>(trames),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(capturerUnBloc)->Name("capture : un bloc")->Arg(240)->Arg(480)->Arg(8192);

}  // namespace

BENCHMARK_MAIN();
