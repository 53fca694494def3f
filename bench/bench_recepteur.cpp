// SPDX-License-Identifier: MPL-2.0
// Le coût du récepteur pour une seconde de son : 150 paquets scellés ouverts et mis en file,
// 5 tics (question d'horloge, pilote), et 48 000 trames rendues par blocs de 10 ms à travers
// le rééchantillonneur (vitesse +300 ppm), qui tire la file par morceaux de
// `RenduLecture::tramesParMorceau`. Le temps par itération, rapporté à une seconde,
// est la part d'un cœur que le récepteur prend.
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/recepteur_appaire.hpp"
#include "protocol/audio/format_flux.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "recepteur/rendu_lecture.hpp"

namespace {

using namespace ravlo;

void BM_RecepteurUneSeconde(benchmark::State& state) {
  auto lecture = std::make_shared<FileLecture>(PiloteFile::amorceDepartTrames, true);
  Recepteur recepteur(reglagesAppaires(), lecture);
  const Liaison emetteur = appairer(recepteur);
  RenduLecture rendu(lecture, true);
  rendu.changerVitesse(300);
  Octets pcm(flux::octetsParPaquet);
  for (std::size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<std::uint8_t>(
        static_cast<int>(100 * std::sin(static_cast<double>(i) / 7)) & 0xFF);
  std::vector<float> bloc(2 * 480);
  std::uint32_t sequence = 0;
  InstantNs t = 1'000'000'000;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Octets> scelles;
    for (int i = 0; i < 150; ++i) {
      const auto p = PaquetAudio::creer(sequence++, t + static_cast<InstantNs>(i) * 6'666'667, pcm);
      scelles.push_back(*emetteur.scelleur->sceller(p->encoder(), SorteEnveloppe::audio));
    }
    state.ResumeTiming();
    for (int i = 0; i < 150; ++i) {
      const InstantNs maintenant = t + static_cast<InstantNs>(i) * 6'666'667;
      benchmark::DoNotOptimize(
          recepteur.recevoir(scelles[static_cast<std::size_t>(i)], sourceAppairee, maintenant));
      if (i % 30 == 0) benchmark::DoNotOptimize(recepteur.cadencer(maintenant));
      // 100 blocs de 10 ms par seconde, au rythme des paquets : deux pour trois.
      if (i % 3 != 1) rendu.rendre(bloc, maintenant);
    }
    t += 1'000'000'000;
  }
  state.counters["partDUnCoeur%"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / 100.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["trous"] = static_cast<double>(lecture->etat().trous);
}
BENCHMARK(BM_RecepteurUneSeconde)->Unit(benchmark::kMillisecond)->UseRealTime();

// Le rendu seul : une seconde de son (100 blocs de 10 ms) tirée d'une file toujours pleine,
// rééchantillonnée à +300 ppm (argument 1) ou passée telle quelle (0) ; l'écart des deux est
// le prix du rééchantillonneur. Le temps par itération est en ns par seconde de son.
void BM_RenduUneSeconde(benchmark::State& state) {
  const bool reechantillonner = state.range(0) != 0;
  auto lecture = std::make_shared<FileLecture>(960, false);
  RenduLecture rendu(lecture, reechantillonner);
  rendu.changerVitesse(300);
  Octets pcm(flux::octetsParPaquet);
  std::uint32_t sequence = 0;
  const auto remplir = [&] {
    while (lecture->etat().reserveTrames < 60'000) {
      for (std::size_t i = 0; i < flux::tramesParPaquet; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(16'000 * std::sin((sequence * static_cast<double>(flux::tramesParPaquet) +
                                           static_cast<double>(i)) *
                                          0.1309)));
        pcm[4 * i] = pcm[4 * i + 2] = static_cast<std::uint8_t>(v & 0xFF);
        pcm[4 * i + 1] = pcm[4 * i + 3] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
      }
      lecture->placer(sequence, static_cast<InstantNs>(sequence) * 6'666'667, pcm);
      ++sequence;
    }
  };
  std::vector<float> bloc(2 * 480);
  remplir();
  rendu.rendre(bloc, 0);  // l'amorçage rogne la réserve : la remplir de nouveau
  InstantNs t = 10'000'000;
  for (auto _ : state) {
    state.PauseTiming();
    remplir();
    state.ResumeTiming();
    for (int i = 0; i < 100; ++i) {
      rendu.rendre(bloc, t);
      benchmark::DoNotOptimize(bloc.data());
      t += 10'000'000;
    }
  }
  state.counters["trous"] = static_cast<double>(lecture->etat().trous);
}
BENCHMARK(BM_RenduUneSeconde)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
