// SPDX-License-Identifier: MPL-2.0
// Mesures du chemin réseau sur la boucle locale, face au vrai ravlo-recepteur : durée d'un
// appairage, appairages à travers un relais qui perd des datagrammes, coût processeur et
// régularité de l'émetteur.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

#include "bench/relais/relais_udp.hpp"
#include "link/decouverte/dialogue_appairage.hpp"
#include "link/diffusion/alimentation.hpp"
#include "link/diffusion/emetteur_audio.hpp"
#include "plateforme/connexion_udp.hpp"
#include "plateforme/file_serie.hpp"
#include "protocol/crypto/hasard_systeme.hpp"
#include "tests/faux/programme_lance.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Issue = std::expected<void, EchecDialogue>;

const CodeAppairage code = *CodeAppairage::depuisSaisie("2468");

std::unique_ptr<essai::RecepteurLance> recepteur() {
  return std::make_unique<essai::RecepteurLance>(
      std::vector<std::string>{"--code", "2468", "--wav", "/dev/null"});
}

struct Banc {
  std::shared_ptr<FileSerie> chercheur = std::make_shared<FileSerie>("ravlo.chercheur");
  std::shared_ptr<FileSerie> principal = std::make_shared<FileSerie>("bench.principal");
  std::shared_ptr<FabriqueConnexionsUDP> connexions = std::make_shared<FabriqueConnexionsUDP>();

  std::pair<std::shared_ptr<AppairageInitiateur>, std::future<Issue>> appairer(std::uint16_t port) {
    auto initiateur =
        std::make_shared<AppairageInitiateur>(code, "Banc", std::make_shared<HasardSysteme>());
    auto promesse = std::make_shared<std::promise<Issue>>();
    lancerDialogue(initiateur, PointReseau{"127.0.0.1", port},
                   PlateformeDialogue{chercheur, connexions}, *principal,
                   [promesse](Issue i) { promesse->set_value(i); });
    return {initiateur, promesse->get_future()};
  }
};

double quantile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

void dureeAppairage(Banc& banc) {
  std::vector<double> ms;
  for (int i = 0; i < 20; ++i) {
    const auto r = recepteur();
    const auto debut = std::chrono::steady_clock::now();
    auto [initiateur, issue] = banc.appairer(r->port);
    const bool ok = issue.get().has_value();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - debut)
                     .count());
    if (!ok) std::printf("  appairage %d échoué\n", i);
  }
  std::printf(
      "Appairage sur la boucle locale (20 essais) : médiane %.2f ms, pire %.2f ms "
      "(objectif < 20 ms)\n",
      quantile(ms, 0.5), quantile(ms, 1.0));
}

void appairagesAvecPertes(Banc& banc, double perte) {
  constexpr int essais = 100;
  constexpr int parLot = 25;
  int reussis = 0;
  std::vector<double> secondes;
  for (int lot = 0; lot < essais / parLot; ++lot) {
    std::vector<std::unique_ptr<essai::RecepteurLance>> recepteurs;
    std::vector<std::unique_ptr<boucle::RelaisUDP>> relais;
    std::vector<std::pair<std::shared_ptr<AppairageInitiateur>, std::future<Issue>>> dialogues;
    const auto debut = std::chrono::steady_clock::now();
    for (int i = 0; i < parLot; ++i) {
      recepteurs.push_back(recepteur());
      relais.push_back(std::make_unique<boucle::RelaisUDP>(
          recepteurs.back()->port,
          boucle::RelaisUDP::Reglages{perte, 1ms, 2ms,
                                      static_cast<std::uint64_t>(lot * parLot + i + 1)}));
      dialogues.push_back(banc.appairer(relais.back()->port()));
    }
    for (auto& [initiateur, issue] : dialogues) {
      const Issue r = issue.get();
      secondes.push_back(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count());
      if (r && std::holds_alternative<AppairageInitiateur::Reussi>(initiateur->etat())) ++reussis;
    }
  }
  std::printf("Appairage avec %.0f %% de pertes dans chaque sens : %d réussis sur %d\n",
              perte * 100, reussis, essais);
}

void emetteur() {
  const auto r = recepteur();
  Banc banc;
  auto [initiateur, issue] = banc.appairer(r->port);
  if (!issue.get() || !std::holds_alternative<AppairageInitiateur::Reussi>(initiateur->etat())) {
    std::printf("Émetteur : appairage impossible\n");
    return;
  }
  const Liaison liaison = std::get<AppairageInitiateur::Reussi>(initiateur->etat()).liaison;
  auto tampon = std::make_shared<TamponAudio>(96'000);
  auto fileEmetteur = std::make_shared<FileSerie>("ravlo.emetteur", FileSerie::Priorite::elevee);
  auto fileSource = std::make_unique<FileSerie>("ravlo.source");
  auto emetteur = EmetteurAudio::creer(
      tampon, PointReseau{"127.0.0.1", r->port}, liaison, [] {}, [] {},
      EmetteurAudio::Plateforme{fileEmetteur, banc.connexions, &horlogeSysteme()});
  auto alimentation = std::make_unique<Alimentation>(tampon, std::make_unique<SourceTon>(440.0),
                                                     *fileSource, horlogeSysteme());

  // La régularité de la minuterie de 5 ms, sur une file réglée comme celle de l'émetteur
  // (et non sur la sienne, pour ne pas compter la sonde dans son coût).
  FileSerie fileSonde("ravlo.sonde", FileSerie::Priorite::elevee);
  std::vector<double> intervalles;
  InstantNs precedent = 0;
  auto sonde = fileSonde.repeter(5ms, 1ms, [&] {
    const InstantNs t = horlogeSysteme().hoteNs();
    if (precedent != 0) intervalles.push_back(static_cast<double>(t - precedent) / 1e6);
    precedent = t;
  });

  auto cpuFil = [&fileEmetteur] {
    std::promise<double> p;
    fileEmetteur->poster([&p] {
      rusage u{};
      getrusage(RUSAGE_THREAD, &u);
      p.set_value(static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                  static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6);
    });
    return p.get_future().get();
  };
  alimentation->demarrer();
  emetteur->demarrer();
  std::this_thread::sleep_for(500ms);
  const double cpu0 = cpuFil();
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<double> attentes;
  for (int s = 0; s < 10; ++s) {
    std::this_thread::sleep_for(1s);
    attentes.push_back(emetteur->compteurs().pireAttenteMs);
  }
  const double cpu = cpuFil() - cpu0;
  const double duree = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  sonde->annuler();
  alimentation->arreter();
  emetteur->arreter();
  std::this_thread::sleep_for(50ms);
  const auto c = emetteur->compteurs();
  const auto voie = *emetteur->compteursVoie(0);
  std::printf(
      "Émetteur, %.1f s à %.0f paquets/s : processeur %.3f %% d'un cœur (objectif < 1 %%) ; "
      "priorité relevée : %s\n",
      duree, static_cast<double>(voie.paquetsEnvoyes) / (duree + 0.5), 100.0 * cpu / duree,
      fileEmetteur->prioriteRelevee() ? "oui" : "non");
  std::printf("  intervalle des tics : p50 %.3f ms, p99 %.3f ms, pire %.3f ms\n",
              quantile(intervalles, 0.5), quantile(intervalles, 0.99), quantile(intervalles, 1.0));
  std::printf("  pireAttenteMs par seconde : médiane %.2f ms, p99 %.2f ms (objectif < 8 ms)\n",
              quantile(attentes, 0.5), quantile(attentes, 0.99));
  std::printf("  perdus à l'anneau %lld octets\n", static_cast<long long>(c.octetsJetes));
  alimentation.reset();
  fileSource.reset();
}

}  // namespace
}  // namespace ravlo

int main() {
  ravlo::Banc banc;
  ravlo::dureeAppairage(banc);
  ravlo::emetteur();
  ravlo::appairagesAvecPertes(banc, 0.05);
  ravlo::appairagesAvecPertes(banc, 0.10);
  return 0;
}
