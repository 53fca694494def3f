// SPDX-License-Identifier: MPL-2.0
// La sortie du récepteur contre le vrai serveur de son de scripts/services.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"
#include "plateforme/pulseaudio/sortie_pulse.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

// Le rendu privé de processeur plus longtemps que la réserve de la sortie : le serveur
// rapporte la sous-alimentation, la sortie vise plus haut, puis redescend quand la machine
// a tenu le temps d'attente (ici une seconde), le flux jouant toujours.
TEST(DemonPulseSortie, UneSousAlimentationReleveLaLatenceViseeLeTempsQuIlFaut) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "pas de démon d'essai : scripts/services/pulseaudio";
  LatenceSortie::Reglages reglages = SortiePulse::reglagesLatence;
  reglages.attenteNs = 1'000'000'000;
  SortiePulse sortie(std::nullopt, reglages);
  std::atomic<int> rendus{0};
  ASSERT_EQ(sortie.demarrer([&](std::span<float> bloc, std::optional<InstantNs>, bool) {
    std::fill(bloc.begin(), bloc.end(), 0.0F);
    if (++rendus == 20) std::this_thread::sleep_for(80ms);
    return true;
  }),
            std::nullopt);
  // Le rendu privé a eu lieu et la latence visée a monté (une machine chargée peut la faire
  // monter avant).
  std::uint32_t plusHaute = reglages.departUs;
  essai::attendreQue([&] {
    plusHaute = std::max(plusHaute, sortie.latenceDemandeeUs().value_or(0));
    return rendus > 20 && plusHaute != reglages.departUs;
  });
  EXPECT_GE(rendus.load(), 20);
  EXPECT_GE(sortie.sousAlimentations().value_or(0), 1);
  EXPECT_GT(plusHaute, reglages.departUs);
  EXPECT_LE(plusHaute, reglages.maxUs);
  // Une machine chargée peut manquer encore : chaque montée repousse la descente.
  bool redescendue = false;
  for (int i = 0; i < 3000 && !redescendue; ++i) {
    std::this_thread::sleep_for(10ms);
    const std::uint32_t l = sortie.latenceDemandeeUs().value_or(0);
    redescendue = l < plusHaute;
    plusHaute = std::max(plusHaute, l);
  }
  EXPECT_TRUE(redescendue) << "toujours à " << plusHaute << " µs";
  const int avant = rendus.load();
  EXPECT_TRUE(essai::attendreQue([&] { return rendus.load() > avant; })) << "le flux joue toujours";
  EXPECT_EQ(sortie.panne(), std::nullopt);
  sortie.arreter();
}

}  // namespace
}  // namespace ravlo
