// SPDX-License-Identifier: MPL-2.0
// Coûts du chemin de l'audio : scellement et ouverture (rapportés à l'AEAD brut de libsodium
// mesuré dans la même exécution), anneau, conversions PCM.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "protocol/audio/conversion_pcm.hpp"
#include "protocol/audio/format_flux.hpp"
#include "protocol/audio/tampon_audio.hpp"
#include "protocol/crypto/sodium.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/scellement/ouvreur.hpp"
#include "protocol/scellement/scelleur.hpp"

namespace {

using namespace ravlo;

const Cle cle{7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
              7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};

Octets paquetPlein() {
  return PaquetAudio::creer(1, 123'456'789, Octets(PaquetAudio::tramesMax * 4, 0x33))->encoder();
}

void aeadBrut(benchmark::State& etat) {
  assurerSodium();
  const Octets message = paquetPlein();
  const auto entete = Enveloppe::entete(SorteEnveloppe::audio, 0);
  Octets chiffre(message.size() + 16);
  Octets clair(message.size());
  std::uint64_t k = 0;
  for (auto _ : etat) {
    const auto nonce = Enveloppe::nonce(k++);
    unsigned long long n = 0;
    crypto_aead_chacha20poly1305_ietf_encrypt(chiffre.data(), &n, message.data(), message.size(),
                                              entete.data(), entete.size(), nullptr, nonce.data(),
                                              cle.data());
    const int ok = crypto_aead_chacha20poly1305_ietf_decrypt(
        clair.data(), &n, nullptr, chiffre.data(), chiffre.size(), entete.data(), entete.size(),
        nonce.data(), cle.data());
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(clair.data());
  }
}
BENCHMARK(aeadBrut)->Name("AEAD brut, chiffrer+déchiffrer 1296 o");

void scellerOuvrir(benchmark::State& etat) {
  const Octets message = paquetPlein();
  Scelleur scelleur(cle);
  Ouvreur ouvreur(cle);
  for (auto _ : etat) {
    auto ouvert = ouvreur.ouvrir(*scelleur.sceller(message, SorteEnveloppe::audio));
    benchmark::DoNotOptimize(ouvert);
  }
}
BENCHMARK(scellerOuvrir)->Name("Scelleur+Ouvreur, 1296 o");

void tamponEcrireLire(benchmark::State& etat) {
  TamponAudio tampon(96'000);
  const Octets bloc(flux::octetsParPaquet, 0x11);
  for (auto _ : etat) {
    tampon.ecrire(bloc, 1'000);
    auto lu = tampon.lire(flux::octetsParPaquet);
    benchmark::DoNotOptimize(lu);
  }
}
BENCHMARK(tamponEcrireLire)->Name("TamponAudio écrire+lire(octets) 1280 o");

void tamponEcrireLireDans(benchmark::State& etat) {
  TamponAudio tampon(96'000);
  const Octets bloc(flux::octetsParPaquet, 0x11);
  std::vector<std::uint8_t> dest(flux::octetsParPaquet);
  for (auto _ : etat) {
    tampon.ecrire(bloc, 1'000);
    auto lu = tampon.lire(std::span<std::uint8_t>(dest));
    benchmark::DoNotOptimize(lu);
  }
}
BENCHMARK(tamponEcrireLireDans)->Name("TamponAudio écrire+lire(dans) 1280 o");

constexpr std::size_t tramesParBloc = 480;

void entrelacer(benchmark::State& etat) {
  std::vector<float> flux(2 * tramesParBloc);
  for (std::size_t i = 0; i < flux.size(); ++i)
    flux[i] = static_cast<float>(i % 200) / 150.0f - 0.6f;
  std::vector<std::int16_t> sortie(2 * tramesParBloc);
  const std::span<const float> f(flux);
  for (auto _ : etat) {
    benchmark::DoNotOptimize(ConversionPCM::entrelacer(f, f.subspan(1), 2, tramesParBloc, sortie));
    benchmark::ClobberMemory();
  }
  etat.counters["trame"] = benchmark::Counter(
      static_cast<double>(tramesParBloc),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(entrelacer)->Name("entrelacer flux 480 trames");

void entrelacerScalaire(benchmark::State& etat) {
  std::vector<float> flux(3 * tramesParBloc);
  for (std::size_t i = 0; i < flux.size(); ++i)
    flux[i] = static_cast<float>(i % 200) / 150.0f - 0.6f;
  std::vector<std::int16_t> sortie(2 * tramesParBloc);
  const std::span<const float> f(flux);
  for (auto _ : etat) {
    // Pas de 3 : aucun chemin vectoriel, la référence de la boucle simple.
    benchmark::DoNotOptimize(ConversionPCM::entrelacer(f, f.subspan(1), 3, tramesParBloc, sortie));
    benchmark::ClobberMemory();
  }
  etat.counters["trame"] = benchmark::Counter(
      static_cast<double>(tramesParBloc),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(entrelacerScalaire)->Name("entrelacer pas 3 (boucle simple) 480 trames");

void desentrelacer(benchmark::State& etat) {
  std::vector<std::int16_t> pcm(2 * tramesParBloc);
  for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<std::int16_t>(i * 97);
  std::vector<float> g(tramesParBloc), d(tramesParBloc);
  for (auto _ : etat) {
    benchmark::DoNotOptimize(ConversionPCM::desentrelacer(pcm, tramesParBloc, g, d));
    benchmark::ClobberMemory();
  }
  etat.counters["trame"] = benchmark::Counter(
      static_cast<double>(tramesParBloc),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(desentrelacer)->Name("desentrelacer 480 trames");

// Garde le temps de chaque mesure pour en tirer le rapport à l'AEAD brut.
class Rapporteur : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) temps_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  [[nodiscard]] double temps(const std::string& nom) const {
    const auto it = temps_.find(nom);
    return it == temps_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> temps_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Rapporteur rapporteur;
  benchmark::RunSpecifiedBenchmarks(&rapporteur);
  const double brut = rapporteur.temps("AEAD brut, chiffrer+déchiffrer 1296 o");
  const double nous = rapporteur.temps("Scelleur+Ouvreur, 1296 o");
  if (brut > 0 && nous > 0) {
    std::printf("\nScelleur+Ouvreur / AEAD brut = %.3f (surcoût %.1f %%, objectif ≤ 15 %%)\n",
                nous / brut, (nous / brut - 1.0) * 100.0);
  }
  benchmark::Shutdown();
  return 0;
}
