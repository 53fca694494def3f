// SPDX-License-Identifier: MPL-2.0
// Le plancher de CPU de cette machine pour un lien audio : ce que coûtent les seuls réveils et
// envois, sans aucun travail utile, aux cadences du son (150 et 300 réveils par seconde).
//
//   plancher_reveils [--secondes S]
//
// Quatre processus sur la boucle locale, mesurés par /proc/PID/schedstat :
// - « cadence » : réveillé par une minuterie, il envoie un octet au relais (le rôle du serveur
//   de son qui livre un fragment) ;
// - « relais » : réveillé par cet octet, il envoie 1320 octets au puits (un émetteur idéal : un
//   réveil par paquet, rien d'autre) ;
// - « puits » : réveillé par chaque paquet, il le lit (un récepteur idéal, sans sortie) ;
// - « minuteur » seul : réveillé par sa propre minuterie, il envoie 1320 octets au puits.
// Sur une machine virtuelle, un réveil par minuterie et l'envoi qui réveille un autre processus
// coûtent chacun des dizaines de microsecondes : c'est ce plancher que ce programme chiffre.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

namespace {

constexpr std::size_t octetsParPaquet = 1320;

struct Prise {
  int fd = -1;
  sockaddr_in adresse{};
};

Prise prise() {
  Prise p;
  p.fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  p.adresse.sin_family = AF_INET;
  p.adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t l = sizeof p.adresse;
  if (p.fd < 0 || ::bind(p.fd, reinterpret_cast<sockaddr*>(&p.adresse), l) != 0 ||
      ::getsockname(p.fd, reinterpret_cast<sockaddr*>(&p.adresse), &l) != 0) {
    std::perror("plancher_reveils: socket");
    std::exit(1);
  }
  return p;
}

void envoyer(int fd, const sockaddr_in& vers, const void* octets, std::size_t n) {
  (void)::sendto(fd, octets, n, 0, reinterpret_cast<const sockaddr*>(&vers), sizeof vers);
}

[[noreturn]] void minuterie(int parSeconde, const sockaddr_in& vers, std::size_t n) {
  const int t = ::timerfd_create(CLOCK_MONOTONIC, 0);
  const long periode = 1'000'000'000L / parSeconde;
  const itimerspec it{{0, periode}, {0, periode}};
  ::timerfd_settime(t, 0, &it, nullptr);
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  std::array<std::uint8_t, octetsParPaquet> paquet{};
  for (;;) {
    std::uint64_t expirations = 0;
    if (::read(t, &expirations, sizeof expirations) > 0) envoyer(fd, vers, paquet.data(), n);
  }
}

// Réveillé par chaque datagramme ; le relaie s'il a où.
[[noreturn]] void reveille(int fd, const sockaddr_in* vers) {
  const int sortie = ::socket(AF_INET, SOCK_DGRAM, 0);
  std::array<std::uint8_t, 2048> tampon{};
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, -1);
    while (::recv(fd, tampon.data(), tampon.size(), MSG_DONTWAIT) > 0) {
      if (vers) envoyer(sortie, *vers, tampon.data(), octetsParPaquet);
    }
  }
}

template <typename F>
pid_t lancer(F corps) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // jamais d'orphelin si la mesure meurt
    corps();
  }
  return pid;
}

std::uint64_t cpuNs(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/schedstat");
  std::uint64_t ns = 0;
  f >> ns;
  return ns;
}

struct Mesure {
  double relais = 0, puits = 0, minuteur = 0;
};

Mesure mesurer(int parSeconde, int secondes) {
  Mesure m;
  const auto msParMinute = [&](std::uint64_t ns) { return ns / 1e6 * 60 / secondes; };
  const auto fenetre = [&](pid_t pid, pid_t pid2, double& a, double* b) {
    std::this_thread::sleep_for(std::chrono::seconds(1));  // mise en route
    const auto a0 = cpuNs(pid), b0 = pid2 ? cpuNs(pid2) : 0;
    std::this_thread::sleep_for(std::chrono::seconds(secondes));
    a = msParMinute(cpuNs(pid) - a0);
    if (b) *b = msParMinute(cpuNs(pid2) - b0);
  };
  {
    const Prise puits = prise(), relais = prise();
    const pid_t p = lancer([&] { reveille(puits.fd, nullptr); });
    const pid_t r = lancer([&] { reveille(relais.fd, &puits.adresse); });
    const pid_t c = lancer([&] { minuterie(parSeconde, relais.adresse, 1); });
    fenetre(r, p, m.relais, &m.puits);
    for (const pid_t pid : {c, r, p}) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    ::close(puits.fd), ::close(relais.fd);
  }
  {
    const Prise puits = prise();
    const pid_t p = lancer([&] { reveille(puits.fd, nullptr); });
    const pid_t t = lancer([&] { minuterie(parSeconde, puits.adresse, octetsParPaquet); });
    fenetre(t, 0, m.minuteur, nullptr);
    for (const pid_t pid : {t, p}) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    ::close(puits.fd);
  }
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  int secondes = 10;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (i + 1 < argc && a == "--secondes") {
      secondes = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage : plancher_reveils [--secondes S]\n");
      return 2;
    }
  }
  std::printf(
      "| réveils par seconde | relais idéal, réveillé par un autre processus (ms/min) "
      "| puits, réveillé par chaque paquet (ms/min) | minuteur qui envoie (ms/min) |\n"
      "|---|---|---|---|\n");
  for (const int parSeconde : {150, 300}) {
    const Mesure m = mesurer(parSeconde, secondes);
    std::printf("| %d | %.0f | %.0f | %.0f |\n", parSeconde, m.relais, m.puits, m.minuteur);
    std::fflush(stdout);
  }
}
