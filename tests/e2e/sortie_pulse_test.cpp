// La sortie du récepteur contre le vrai serveur de son de scripts/services.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "e2e/outils_pulse.hpp"
#include "plateforme/pulseaudio/sortie_pulse.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

// Le rendu privé de processeur plus longtemps que la réserve de la sortie : le serveur
// rapporte la sous-alimentation, et la sortie vise plus haut pour la suite.
TEST(DemonPulseSortie, UneSousAlimentationReleveLaLatenceVisee) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "pas de démon d'essai : scripts/services/pulseaudio";
  SortiePulse sortie(std::nullopt);
  std::atomic<int> rendus{0};
  ASSERT_EQ(sortie.demarrer([&](std::span<float> bloc, std::optional<InstantNs>, bool) {
    std::fill(bloc.begin(), bloc.end(), 0.0F);
    if (++rendus == 20) std::this_thread::sleep_for(80ms);
    return true;
  }),
            std::nullopt);
  for (int i = 0; i < 500 && sortie.latenceViseeUs() == SortiePulse::latenceDepartUs; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_GE(rendus.load(), 20);
  EXPECT_GT(sortie.latenceViseeUs(), SortiePulse::latenceDepartUs);
  EXPECT_LE(sortie.latenceViseeUs(), SortiePulse::latenceMaxUs);
  // Le flux joue encore, à sa nouvelle latence.
  const int avant = rendus.load();
  std::this_thread::sleep_for(200ms);
  EXPECT_GT(rendus.load(), avant);
  EXPECT_EQ(sortie.panne(), std::nullopt);
  sortie.arreter();
}

}  // namespace
}  // namespace ravlo
