// SPDX-License-Identifier: MPL-2.0
// Les calages de cette machine : un fil qui demande à être réveillé toutes les millisecondes
// (ordonnancement temps réel s'il est permis) note de combien chaque réveil tarde. Un retard
// de plusieurs ms, aucun programme de son ne le couvre sans une réserve d'autant ; c'est le
// témoin d'une « boucle propre » ou non pour les mesures de bout à bout.
//
//   reveils_tardifs [--secondes S] [--periode-ms P]     (60 s, 1 ms par défaut)
//
// SIGINT ou SIGTERM l'arrêtent avant, avec son bilan : scripts/pieces le fait tourner pendant
// chaque passage.
//
// Imprime une ligne JSON : réveils, ordonnancement obtenu, retards au-delà de 2, 5 et 10 ms,
// le pire, et les calages (retards de plus de 5 ms à moins de 400 ms l'un de l'autre
// comptés pour un).
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace {

std::atomic<bool> arret{false};
extern "C" void arreter(int) {
  arret.store(true);
}

std::int64_t maintenantNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
  int secondes = 60;
  int periodeMs = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a(argv[i]);
    if (a == "--secondes" && i + 1 < argc) {
      secondes = std::atoi(argv[++i]);
    } else if (a == "--periode-ms" && i + 1 < argc) {
      periodeMs = std::atoi(argv[++i]);
    } else {
      secondes = 0;
    }
  }
  if (secondes <= 0 || periodeMs <= 0) {
    std::fprintf(stderr, "usage : reveils_tardifs [--secondes S] [--periode-ms P]\n");
    return 2;
  }
  struct sigaction a{};
  a.sa_handler = arreter;
  ::sigaction(SIGINT, &a, nullptr);
  ::sigaction(SIGTERM, &a, nullptr);
  // Au-dessus des fils du serveur de son (PulseAudio les met à 5) : ce qui retarde ce fil-ci
  // retarde aussi les siens.
  sched_param p{};
  p.sched_priority = 50;
  const bool tempsReel = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &p) == 0;

  const std::int64_t periodeNs = static_cast<std::int64_t>(periodeMs) * 1'000'000;
  constexpr std::int64_t calageNs = 5'000'000;  // au-delà, aucune réserve de 10 ms n'y suffit
  constexpr std::int64_t accrocNs = 400'000'000;
  const std::int64_t debut = maintenantNs();
  const std::int64_t fin = debut + static_cast<std::int64_t>(secondes) * 1'000'000'000;
  std::int64_t echeance = debut;
  long reveils = 0, plusDe2 = 0, plusDe5 = 0, plusDe10 = 0, calages = 0;
  std::int64_t pire = 0;
  std::int64_t dernierCalage = -accrocNs;
  while (echeance < fin && !arret.load()) {
    echeance += periodeNs;
    const timespec t{static_cast<time_t>(echeance / 1'000'000'000),
                     static_cast<long>(echeance % 1'000'000'000)};
    if (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) != 0) continue;
    const std::int64_t now = maintenantNs();
    const std::int64_t retard = now - echeance;
    ++reveils;
    pire = std::max(pire, retard);
    plusDe2 += retard > 2'000'000;
    plusDe5 += retard > calageNs;
    plusDe10 += retard > 10'000'000;
    if (retard > calageNs) {
      if (now - dernierCalage >= accrocNs) ++calages;
      dernierCalage = now;
    }
    // Après un long retard, on repart de maintenant : les échéances manquées ne sont pas des
    // réveils de plus.
    echeance = std::max(echeance, now - periodeNs);
  }
  std::printf(
      "{\"secondes\": %.1f, \"tempsReel\": %s, \"reveils\": %ld, \"plusDe2ms\": %ld, "
      "\"plusDe5ms\": %ld, \"plusDe10ms\": %ld, \"pireMs\": %.2f, \"calages\": %ld}\n",
      static_cast<double>(maintenantNs() - debut) / 1e9, tempsReel ? "true" : "false", reveils,
      plusDe2, plusDe5, plusDe10, static_cast<double>(pire) / 1e6, calages);
  return 0;
}
