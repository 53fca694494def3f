// SPDX-License-Identifier: MPL-2.0
// Ce que livre un vrai démon PulseAudio à la capture, un lecteur jouant un ton à sa latence
// par défaut puis à 20 ms : tailles des blocs, écarts entre rappels, et retard entre
// l'heure de capture d'un bloc et son écriture dans l'anneau. À lancer sous
// « bash scripts/services/pulseaudio avec build/ci/bench/mesure_capture_pulse [secondes] ».
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "link/capture/rappel_capture.hpp"
#include "plateforme/horloge.hpp"
#include "plateforme/pulseaudio/capture_pulse.hpp"
#include "protocol/audio/format_flux.hpp"

extern char** environ;

namespace {

using namespace ravlo;

struct Rappel {
  InstantNs arrivee = 0;
  std::uint32_t octets = 0;
  bool heure = false;
  InstantNs captureNs = 0;
  InstantNs ecritNs = 0;
};

std::string ecrireTon(double secondes) {
  char chemin[] = "/tmp/ravlo-ton.XXXXXX";
  const int fd = ::mkstemp(chemin);
  std::vector<std::int16_t> pcm(
      static_cast<std::size_t>(secondes * static_cast<double>(flux::tramesParSeconde)) *
      flux::canaux);
  for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
    const auto s = static_cast<std::int16_t>(
        16'000 * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(i) /
                          static_cast<double>(flux::tramesParSeconde)));
    pcm[2 * i] = pcm[2 * i + 1] = s;
  }
  const auto n = static_cast<ssize_t>(pcm.size() * 2);
  if (::write(fd, pcm.data(), static_cast<std::size_t>(n)) != n) std::perror("write");
  ::close(fd);
  return chemin;
}

pid_t jouer(const std::string& fichier, int latenceMs) {
  std::vector<std::string> a{"pacat",          "--playback",   "--raw",
                             "--format=s16le", "--rate=48000", "--channels=2"};
  if (latenceMs > 0) a.push_back("--latency-msec=" + std::to_string(latenceMs));
  a.push_back(fichier);
  std::vector<char*> argv;
  for (auto& x : a) argv.push_back(x.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "pacat", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

double centile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const auto i = static_cast<std::size_t>(
      std::min(p / 100 * static_cast<double>(v.size()), static_cast<double>(v.size() - 1)));
  return v[i];
}

void resumer(const char* nom, const std::vector<double>& v, const char* unite) {
  std::printf("  %-44s p50 %7.3f  p90 %7.3f  p99 %7.3f  max %7.3f %s  (n=%zu)\n", nom,
              centile(v, 50), centile(v, 90), centile(v, 99), centile(v, 100), unite, v.size());
}

void mesurer(const char* titre, int latenceMs, double secondes, const std::string& ton) {
  CapturePulse capture("");
  std::vector<std::int16_t> conversion(16'384);
  auto tampon = std::make_shared<TamponAudio>(96'000);
  const ContexteRappel contexte{std::make_shared<Cellule<Livraisons>>(), conversion,
                                std::make_shared<Cellule<float>>(), tampon};
  std::vector<Rappel> rappels;
  rappels.reserve(200'000);
  const auto demarrage = capture.demarrer(
      [&](const BlocCapte& bloc) {
        Rappel r{hoteNs(), static_cast<std::uint32_t>(bloc.echantillons.size() * sizeof(float)),
                 bloc.heure.has_value(), bloc.heure.value_or(0), 0};
        traiterBloc(contexte, bloc);
        r.ecritNs = hoteNs();
        if (rappels.size() < rappels.capacity()) rappels.push_back(r);
      },
      false);
  if (!demarrage) {
    std::fprintf(stderr, "démarrage impossible (cas %d, code %d)\n",
                 static_cast<int>(demarrage.error().cas), demarrage.error().code);
    std::exit(1);
  }
  // L'émetteur vide l'anneau toutes les 5 ms.
  bool fin = false;
  std::thread emetteur([&] {
    while (!__atomic_load_n(&fin, __ATOMIC_ACQUIRE)) {
      tampon->jeter(1 << 20);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  // Le moniteur d'une sortie au repos tarde : on attend qu'elle soit à l'heure.
  while (contexte.livraisons->lire().rappels == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const pid_t joueur = jouer(ton, latenceMs);
  const InstantNs debut = hoteNs() + 1'000'000'000;  // régime établi
  std::this_thread::sleep_for(std::chrono::duration<double>(secondes + 1));
  const InstantNs finMesure = hoteNs();
  capture.arreter();
  __atomic_store_n(&fin, true, __ATOMIC_RELEASE);
  emetteur.join();
  ::kill(joueur, SIGTERM);
  ::waitpid(joueur, nullptr, 0);

  std::map<std::uint32_t, int> tailles;
  std::vector<double> ecarts, retardPremier, retardDernier;
  const Rappel* precedent = nullptr;
  for (const Rappel& r : rappels) {
    if (r.arrivee < debut || r.arrivee > finMesure) continue;
    ++tailles[r.octets];
    if (precedent != nullptr)
      ecarts.push_back(static_cast<double>(r.arrivee - precedent->arrivee) / 1e6);
    if (r.heure) {
      const double premier = static_cast<double>(ecartSigneNs(r.ecritNs, r.captureNs)) / 1e6;
      retardPremier.push_back(premier);
      retardDernier.push_back(premier - (r.octets / 8.0) / 48.0);
    }
    precedent = &r;
  }
  std::printf("\n%s (%.0f s de régime établi)\n", titre,
              static_cast<double>(finMesure - debut) / 1e9);
  std::printf("  tailles des blocs (octets × nombre) :");
  int montres = 0;
  std::vector<std::pair<int, std::uint32_t>> parNombre;
  for (auto [t, n] : tailles) parNombre.emplace_back(n, t);
  std::sort(parNombre.rbegin(), parNombre.rend());
  for (auto [n, t] : parNombre) {
    if (montres++ < 6) std::printf(" %u×%d", t, n);
  }
  std::printf("%s\n", parNombre.size() > 6 ? " …" : "");
  resumer("écart entre rappels", ecarts, "ms");
  resumer("écriture − heure de capture du 1er octet", retardPremier, "ms");
  resumer("écriture − heure de capture du dernier octet", retardDernier, "ms");
  std::printf("  octets perdus par l'anneau : %lld\n", static_cast<long long>(tampon->perdus()));
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("PULSE_SERVER") == nullptr) {
    std::fprintf(stderr, "PULSE_SERVER absent : lancer sous scripts/services/pulseaudio avec …\n");
    return 2;
  }
  const double secondes = argc > 1 ? std::atof(argv[1]) : 8;
  const std::string ton = ecrireTon(secondes + 4);
  mesurer("Lecteur à sa latence par défaut", 0, secondes, ton);
  mesurer("Lecteur à 20 ms de latence", 20, secondes, ton);
  ::unlink(ton.c_str());
  return 0;
}
