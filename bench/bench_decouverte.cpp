// SPDX-License-Identifier: MPL-2.0
// Délai entre l'annonce d'un récepteur (avahi-publish dans ravlo_rx) et sa présence dans les
// résultats du navigateur Avahi (dans ravlo_tx), sur 20 annonces. Objectif : p95 ≤ 2 s.
// À lancer par scripts/bench, dans l'espace de noms ravlo_tx que crée scripts/services/avahi.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "plateforme/avahi/navigateur_avahi.hpp"
#include "plateforme/file_serie.hpp"
#include "protocol/messages/service_ravlo.hpp"

namespace ravlo {
namespace {

using Horloge = std::chrono::steady_clock;

struct Vus {
  std::mutex mutex;
  std::condition_variable change;
  std::set<std::string> noms;

  // Attend que `nom` soit (ou ne soit plus) vu ; faux après 10 s.
  bool attendre(const std::string& nom, bool present) {
    std::unique_lock verrou(mutex);
    return change.wait_for(verrou, std::chrono::seconds(10),
                           [&] { return noms.contains(nom) == present; });
  }
};

int mesurer(const char* outil) {
  auto file = std::make_shared<FileSerie>("ravlo.chercheur");
  Vus vus;
  NavigateurAvahi navigateur(std::string(ServiceRavlo::typeService), file);
  navigateur.demarrer(
      [&vus](const std::vector<ResultatService>& resultats) {
        const std::lock_guard verrou(vus.mutex);
        vus.noms.clear();
        for (const auto& r : resultats)
          if (r.point.nomService) vus.noms.insert(*r.point.nomService);
        vus.change.notify_all();
      },
      [](const EtatNavigateur&) {});

  constexpr int annonces = 20;
  std::vector<double> delais;
  for (int i = 0; i < annonces; ++i) {
    const std::string nom = "Banc " + std::to_string(i);
    const auto debut = Horloge::now();
    if (std::system((std::string(outil) + " publier '" + nom + "' 50000").c_str()) != 0) return 1;
    const bool vu = vus.attendre(nom, true);
    const auto fin = Horloge::now();
    const bool retire = std::system((std::string(outil) + " retirer '" + nom + "'").c_str()) == 0;
    if (!vu || !retire || !vus.attendre(nom, false)) {
      std::fprintf(stderr, "« %s » jamais vu ou jamais retiré\n", nom.c_str());
      return 1;
    }
    delais.push_back(std::chrono::duration<double, std::milli>(fin - debut).count());
  }
  navigateur.annuler();
  std::ranges::sort(delais);
  const double mediane = (delais[annonces / 2 - 1] + delais[annonces / 2]) / 2;
  const double p95 = delais[static_cast<std::size_t>(0.95 * annonces) - 1];
  std::printf(
      "annonce → liste, %d annonces : médiane %.0f ms, p95 %.0f ms, max %.0f ms "
      "(objectif p95 ≤ 2000 ms : %s)\n",
      annonces, mediane, p95, delais.back(), p95 <= 2000 ? "tenu" : "MANQUÉ");
  return p95 <= 2000 ? 0 : 1;
}

}  // namespace
}  // namespace ravlo

int main() {
  const char* outil = std::getenv("RAVLO_AVAHI_OUTIL");
  if (outil == nullptr) {
    std::fprintf(stderr, "à lancer par scripts/bench (RAVLO_AVAHI_OUTIL manquant)\n");
    return 2;
  }
  return ravlo::mesurer(outil);
}
