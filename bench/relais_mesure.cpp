// SPDX-License-Identifier: MPL-2.0
// Relais UDP semé entre ravlo-envoi et ravlo-recepteur, pour les mesures de bout en bout :
// pertes, gigue, coupures, sur la boucle locale seulement.
//
//   relais_mesure [--perte P] [--gigue MS] [--coupure-toutes S --coupure-ms MS] [--graine N]
//                 PORT_RECEPTEUR
//
// Imprime « Port : P » (le port où envoyer), puis, à SIGINT ou SIGTERM, « perdus N,
// transmis N » et s'arrête.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "bench/relais/relais_udp.hpp"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage : relais_mesure [--perte P] [--gigue MS] [--coupure-toutes S "
               "--coupure-ms MS] [--graine N] PORT_RECEPTEUR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace std::chrono;
  ravlo::boucle::RelaisUDP::Reglages r;
  long port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (i + 1 < argc && a == "--perte") {
      r.perte = std::atof(argv[++i]);
    } else if (i + 1 < argc && a == "--gigue") {
      r.gigue = duration_cast<microseconds>(duration<double, std::milli>(std::atof(argv[++i])));
    } else if (i + 1 < argc && a == "--coupure-toutes") {
      r.coupureToutes = duration_cast<milliseconds>(duration<double>(std::atof(argv[++i])));
    } else if (i + 1 < argc && a == "--coupure-ms") {
      r.coupureDuree = milliseconds(std::atol(argv[++i]));
    } else if (i + 1 < argc && a == "--graine") {
      r.graine = std::strtoull(argv[++i], nullptr, 10);
    } else if (i + 1 == argc) {
      port = std::atol(argv[i]);
    } else {
      return usage();
    }
  }
  if (port <= 0 || port > 65'535 || r.perte < 0 || r.perte > 1) return usage();

  // Les signaux attendus ici, avant que le fil du relais ne les hérite débloqués.
  sigset_t attendus;
  sigemptyset(&attendus);
  sigaddset(&attendus, SIGINT);
  sigaddset(&attendus, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &attendus, nullptr);
  ravlo::boucle::RelaisUDP relais(static_cast<std::uint16_t>(port), r);
  std::printf("Port : %u\n", unsigned{relais.port()});
  std::fflush(stdout);
  int signal = 0;
  sigwait(&attendus, &signal);
  std::printf("perdus %llu, transmis %llu\n", static_cast<unsigned long long>(relais.perdus()),
              static_cast<unsigned long long>(relais.transmis()));
  return 0;
}
