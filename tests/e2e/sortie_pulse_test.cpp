// SPDX-License-Identifier: MPL-2.0
// La sortie du récepteur contre le vrai serveur de son de scripts/services.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"
#include "plateforme/horloge.hpp"
#include "plateforme/pipewire/sortie_pipewire.hpp"
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

// Sous PipeWire, la sortie native joue sur la sortie par défaut, date chaque bloc d'une heure
// à venir et proche (un quantum et le retard du graphe), et disparaît à l'arrêt.
TEST(DemonPulseSortie, SurPipewireLaSortieNativeJoueEtDateSesBlocs) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "pas de démon d'essai : scripts/services/pulseaudio";
  if (!serveurPipewire()) GTEST_SKIP() << "le serveur n'est pas PipeWire";
  SortiePipewire sortie(std::nullopt);
  std::atomic<int> rendus{0};
  std::atomic<int> malDates{0};
  ASSERT_EQ(sortie.demarrer([&](std::span<float> bloc, std::optional<InstantNs> heure, bool) {
    std::fill(bloc.begin(), bloc.end(), 0.1F);
    const InstantNs maintenant = hoteNs();
    if (!heure || *heure + 1'000'000 < maintenant || *heure > maintenant + 50'000'000) ++malDates;
    ++rendus;
    return true;
  }),
            std::nullopt);
  EXPECT_TRUE(essai::attendreQue([&] { return rendus >= 100; })) << rendus.load();
  EXPECT_LE(malDates.load(), 2) << "le premier cycle peut précéder le minutage";
  EXPECT_NE(essai::commande("pactl list sink-inputs").find("ravlo-recepteur"), std::string::npos);
  EXPECT_EQ(sortie.panne(), std::nullopt);
  EXPECT_FALSE(sortie.sonCoupe());
  sortie.arreter();
  const int arretes = rendus.load();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(rendus.load(), arretes);
}

}  // namespace
}  // namespace ravlo
