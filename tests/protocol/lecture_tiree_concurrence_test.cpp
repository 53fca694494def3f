#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "protocol/lecture_tiree.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

// Le réseau pousse des blocs de 320 trames numérotées (gauche = i mod 32 000, droite =
// i div 32 000), le rendu tire sans arrêt, le pilotage lit, relève, change l'amorce et vide.
// Le rendu doit voir des trames entières, toujours en avant dans le flux et contiguës
// hormis aux débuts de blocs, et ses comptes doivent tomber juste : trames demandées depuis
// le début = son réel + silence compté.
TEST(ConcurrenceLectureTiree, PousserTirerEtPiloterEnParallele) {
  LectureTiree lecture(4800, 960);
  std::atomic<bool> fini{false};
  const auto limite = std::chrono::steady_clock::now() + 1500ms;

  std::thread reseau([&] {
    std::int64_t prochaine = 0;
    Octets pcm(320 * 4);
    while (!fini.load()) {
      for (std::int64_t i = 0; i < 320; ++i) {
        const auto g = static_cast<std::int16_t>((prochaine + i) % 32'000);
        const auto d = static_cast<std::int16_t>((prochaine + i) / 32'000);
        const auto o = static_cast<std::size_t>(4 * i);
        pcm[o] = static_cast<std::uint8_t>(g & 0xFF);
        pcm[o + 1] = static_cast<std::uint8_t>((g >> 8) & 0xFF);
        pcm[o + 2] = static_cast<std::uint8_t>(d & 0xFF);
        pcm[o + 3] = static_cast<std::uint8_t>((d >> 8) & 0xFF);
      }
      // Une file pleine refuse le bloc : on le perd, comme le réseau, et on avance.
      lecture.pousser(pcm, static_cast<InstantNs>(prochaine) * 20'833);
      prochaine += 320;
      std::this_thread::sleep_for(100us);
    }
  });

  std::atomic<bool> aDebute{false};
  std::thread pilotage([&] {
    std::int64_t tour = 0;
    while (!fini.load()) {
      const auto e = lecture.etat();
      EXPECT_GE(e.disponibleTrames, 0);
      EXPECT_LE(e.disponibleTrames, 4800);
      (void)lecture.releverPire();
      (void)lecture.niveauDuBloc();
      lecture.changerAmorce(tour % 2 == 0 ? 960 : 480);
      if (aDebute.load() && tour % 50 == 0) lecture.vider();
      ++tour;
      std::this_thread::sleep_for(200us);
    }
  });

  std::int64_t demandees = 0, rendues = 0, demandeesAvantDebut = 0, avecSon = 0;
  std::vector<float> gauche(512), droite(512);
  std::int64_t derniere = -1;
  std::int64_t tours = 0;
  InstantNs heure = 0;
  while (std::chrono::steady_clock::now() < limite) {
    const std::int64_t n = tours % 3 == 0 ? 512 : 256;
    const std::int64_t k = lecture.tirer(n, gauche, droite, heure += 1'000);
    ASSERT_GE(k, 0);
    ASSERT_LE(k, n);
    if (rendues == 0 && k == 0) demandeesAvantDebut += n;
    if (k > 0) aDebute.store(true);
    demandees += n;
    rendues += k;
    if (k > 0) ++avecSon;
    for (std::int64_t i = 0; i < k; ++i) {
      const auto u = static_cast<std::size_t>(i);
      const std::int64_t numero =
          std::lround(gauche[u] * 32767.0f) + 32'000 * std::lround(droite[u] * 32767.0f);
      ASSERT_GT(numero, derniere);
      if (i > 0) {
        ASSERT_TRUE(numero == derniere + 1 || numero % 320 == 0) << numero;
      }
      derniere = numero;
    }
    for (std::int64_t i = k; i < n; ++i) ASSERT_EQ(gauche[static_cast<std::size_t>(i)], 0.0f);
    ++tours;
    std::this_thread::sleep_for(50us);
  }
  fini.store(true);
  reseau.join();
  pilotage.join();

  const auto e = lecture.etat();
  ASSERT_TRUE(e.commencee);
  EXPECT_GT(rendues, 0);
  EXPECT_EQ(demandees - demandeesAvantDebut, rendues + e.tramesDeSilence);
  // Une lecture partie d'un segment oublié n'a pas d'heure : elle ne date pas le rendu.
  EXPECT_GT(e.rendus, 0);
  EXPECT_LE(e.rendus, avecSon);
}

}  // namespace
}  // namespace ravlo
