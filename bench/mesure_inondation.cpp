// SPDX-License-Identifier: MPL-2.0
// Un vrai ravlo-recepteur sous un flot de datagrammes étrangers, pendant qu'un vrai ravlo-envoi
// lui envoie un ton : paquets du son perdus et latence, avant et pendant le flot. Boucle locale
// seulement ; le flot, borné en débit et en durée, s'arrête seul.
//
//   mesure_inondation [--recepteur CHEMIN] [--debit N] [--secondes S] [--avant S]
//                     [-- OPTIONS_DU_RECEPTEUR...]
//
// Sans --wav parmi les options du récepteur, il joue sur la sortie par défaut : lancer sous
// « bash scripts/services/pulseaudio avec ». --recepteur mesure un autre binaire (celui d'un
// autre commit). Le flot part de 4 sockets : octets au hasard (1 à 1400), enveloppes audio et
// d'horloge forgées (bonne forme, compteur au hasard), messages d'appairage mal formés et
// datagrammes de 3000 octets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/faux/programme_lance.hpp"

namespace {

using namespace std::chrono;
using Horloge = steady_clock;

struct Ligne {
  double t = 0;
  long perdus = 0, tardifs = 0, trous = 0;
  std::optional<double> latence;
};

// Une ligne d'état du récepteur : « 12.0 s  en lecture  paquets … perdus … tardifs … trous …
// latence … ms … ».
std::optional<Ligne> lireLigne(const std::string& l) {
  const auto champ = [&](std::string_view nom) -> std::optional<std::string> {
    const auto i = l.find(nom);
    if (i == std::string::npos) return std::nullopt;
    const auto debut = i + nom.size();
    return l.substr(debut, l.find(' ', debut) - debut);
  };
  const auto perdus = champ("  perdus "), tardifs = champ("  tardifs "), trous = champ("  trous ");
  const auto latence = champ("  latence ");
  if (!perdus || !tardifs || !trous || !latence) return std::nullopt;
  Ligne r{std::atof(l.c_str()), std::atol(perdus->c_str()), std::atol(tardifs->c_str()),
          std::atol(trous->c_str()), std::nullopt};
  if (*latence != "-") r.latence = std::atof(latence->c_str());
  return r;
}

std::vector<std::vector<std::uint8_t>> rebuts(std::size_t n) {
  std::mt19937_64 alea(7);
  std::vector<std::vector<std::uint8_t>> r;
  for (std::size_t i = 0; i < n; ++i) {
    std::vector<std::uint8_t> d;
    switch (i % 10) {
      case 0:
      case 1:
      case 2:
      case 3:
        d.resize(1 + alea() % 1400);
        break;
      case 4:
      case 5:
      case 6:
        d.resize(1324);
        break;
      case 7:
        d.resize(56);
        break;
      case 8:
        d.resize(12 + alea() % 190);
        break;
      default:
        d.resize(3000);
    }
    for (auto& o : d) o = static_cast<std::uint8_t>(alea());
    if (i % 10 >= 4 && i % 10 <= 7) {
      d[0] = 'R', d[1] = 'V', d[2] = 2, d[3] = i % 10 == 7 ? 1 : 0;
    } else if (i % 10 == 8) {
      d[0] = 'R', d[1] = 'P', d[2] = 1;
    }
    r.push_back(std::move(d));
  }
  return r;
}

// Le flot : `debit` datagrammes par seconde, par paquets d'une milliseconde, jusqu'à `fin`.
std::uint64_t inonder(std::uint16_t port, long debit, Horloge::time_point fin) {
  const auto donnees = rebuts(1000);
  std::vector<int> sockets;
  for (int i = 0; i < 4; ++i) sockets.push_back(::socket(AF_INET, SOCK_DGRAM, 0));
  const sockaddr_in vers{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
  std::uint64_t envoyes = 0;
  double du = 0;
  for (auto echeance = Horloge::now(); echeance < fin; echeance += milliseconds(1)) {
    std::this_thread::sleep_until(echeance);
    for (du += static_cast<double>(debit) / 1000.0; du >= 1; du -= 1, ++envoyes) {
      const auto& d = donnees[envoyes % donnees.size()];
      ::sendto(sockets[envoyes % sockets.size()], d.data(), d.size(), 0,
               reinterpret_cast<const sockaddr*>(&vers), sizeof vers);
    }
  }
  for (int s : sockets) ::close(s);
  return envoyes;
}

// Les datagrammes que la socket du port a perdus faute de place (/proc/net/udp et udp6).
long pertesSocket(std::uint16_t port) {
  char motif[16];
  std::snprintf(motif, sizeof motif, ":%04X ", unsigned{port});
  long pertes = 0;
  for (const char* f : {"/proc/net/udp", "/proc/net/udp6"}) {
    std::ifstream in(f);
    for (std::string l; std::getline(in, l);) {
      const auto i = l.find(motif);
      if (i == std::string::npos || i > 60) continue;  // le port local, pas le distant
      pertes += std::atol(l.substr(l.find_last_of(' ') + 1).c_str());
    }
  }
  return pertes;
}

double mediane(std::vector<double> v) {
  if (v.empty()) return 0;
  std::ranges::sort(v);
  return v[v.size() / 2];
}

int usage() {
  std::fprintf(stderr,
               "usage : mesure_inondation [--recepteur CHEMIN] [--debit N] [--secondes S] "
               "[--avant S] [-- OPTIONS_DU_RECEPTEUR...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string recepteur = RAVLO_RECEPTEUR;
  long debit = 20'000;
  double secondes = 15, avant = 5;
  std::vector<std::string> options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--") {
      options.assign(argv + i + 1, argv + argc);
      break;
    }
    if (i + 1 >= argc) return usage();
    if (a == "--recepteur") {
      recepteur = argv[++i];
    } else if (a == "--debit") {
      debit = std::atol(argv[++i]);
    } else if (a == "--secondes") {
      secondes = std::atof(argv[++i]);
    } else if (a == "--avant") {
      avant = std::atof(argv[++i]);
    } else {
      return usage();
    }
  }
  if (debit <= 0 || debit > 200'000 || secondes <= 0 || secondes > 120 || avant < 1) return usage();

  const auto dossier =
      std::filesystem::temp_directory_path() / ("ravlo-inondation-" + std::to_string(getpid()));
  std::filesystem::create_directories(dossier);
  const auto statsR = (dossier / "r.json").string(), statsE = (dossier / "e.json").string();
  options.insert(options.begin(), {"--stats", statsR});
  std::optional<nlohmann::json> jr, je;
  std::vector<Ligne> lignes;
  double debutFlot = 0, finFlot = 0;
  std::uint64_t envoyes = 0;
  long pertes = 0;
  {
    ravlo::essai::RecepteurLance r(options, recepteur);
    if (r.port == 0 || r.code.empty()) {
      std::fprintf(stderr, "le récepteur n'a pas démarré\n");
      return 1;
    }
    const auto lancement = Horloge::now();
    ravlo::essai::ProgrammeLance envoi(
        {RAVLO_ENVOI, "--vers", "127.0.0.1:" + std::to_string(r.port), "--code", r.code, "--ton",
         "440", "--secondes", std::to_string(avant + secondes + 2), "--stats", statsE});
    if (r.lire("Appairé avec ", seconds(15)).empty()) {
      std::fprintf(stderr, "pas d'appairage\n");
      return 1;
    }
    const auto ecoule = [&] { return duration<double>(Horloge::now() - lancement).count(); };
    const auto suivre = [&](Horloge::time_point jusqua) {
      while (Horloge::now() < jusqua) {
        const auto l = r.lire("", milliseconds(200));
        if (auto ligne = l.empty() ? std::nullopt : lireLigne(l)) {
          ligne->t = ecoule();
          lignes.push_back(*ligne);
        }
      }
    };
    suivre(Horloge::now() + duration_cast<Horloge::duration>(duration<double>(avant)));
    debutFlot = ecoule();
    const auto fin = Horloge::now() + duration_cast<Horloge::duration>(duration<double>(secondes));
    std::thread flot([&] { envoyes = inonder(r.port, debit, fin); });
    suivre(fin);
    flot.join();
    finFlot = ecoule();
    suivre(Horloge::now() + seconds(1));
    pertes = pertesSocket(r.port);
    envoi.attendre();
    r.arreter();
    jr = nlohmann::json::parse(std::ifstream(statsR), nullptr, false);
    je = nlohmann::json::parse(std::ifstream(statsE), nullptr, false);
  }
  std::filesystem::remove_all(dossier);

  // Les lignes d'avant le flot, celles du flot (décalées d'une seconde : la ligne dit la
  // seconde écoulée), et ce que chacune ajoute aux pertes.
  const auto dans = [&](double a, double b) {
    std::vector<Ligne> v;
    for (const auto& l : lignes)
      if (l.t > a && l.t <= b) v.push_back(l);
    return v;
  };
  const auto avantFlot = dans(0, debutFlot), pendant = dans(debutFlot + 1, finFlot + 1);
  const auto latences = [](const std::vector<Ligne>& v) {
    std::vector<double> r;
    for (const auto& l : v)
      if (l.latence) r.push_back(*l.latence);
    return r;
  };
  const auto la = latences(avantFlot), lp = latences(pendant);
  const Ligne zero{};
  const Ligne& a = avantFlot.empty() ? zero : avantFlot.back();
  const Ligne& b = pendant.empty() ? a : pendant.back();
  const double dureeFlot = finFlot - debutFlot;
  std::printf("flot : %llu datagrammes en %.1f s (%.0f/s)\n",
              static_cast<unsigned long long>(envoyes), dureeFlot,
              static_cast<double>(envoyes) / dureeFlot);
  std::printf("pendant le flot : perdus %ld, tardifs %ld, trous %ld\n", b.perdus - a.perdus,
              b.tardifs - a.tardifs, b.trous - a.trous);
  std::printf("latence (ms) : avant, médiane %.1f ; pendant, médiane %.1f, pire %.1f\n",
              mediane(la), mediane(lp), lp.empty() ? 0.0 : *std::ranges::max_element(lp));
  std::printf("socket : %ld datagrammes perdus faute de place\n", pertes);
  if (jr && !jr->is_discarded() && je && !je->is_discarded()) {
    const auto champ = [&](const char* nom) {
      return jr->contains(nom) ? jr->at(nom).dump() : std::string("absent");
    };
    std::printf(
        "son : envoyés %s, reçus %s, tardifs %s, perdus %s ; refusés %s, écartés %s ; "
        "tampon de réception %s octets ; cible %s ms\n",
        je->at("paquetsEnvoyes").dump().c_str(), champ("paquetsRecus").c_str(),
        champ("paquetsTardifs").c_str(), champ("paquetsPerdus").c_str(),
        champ("enveloppesRefusees").c_str(), champ("datagrammesEcartes").c_str(),
        champ("tamponReceptionOctets").c_str(), champ("cibleMs").c_str());
  }
  return 0;
}
