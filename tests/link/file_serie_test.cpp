#include "link/plateforme/file_serie.hpp"

#include <gtest/gtest.h>

#include <pthread.h>
#include <atomic>
#include <future>
#include <numeric>
#include <thread>

namespace ravlo {
namespace {

using namespace std::chrono_literals;

TEST(FileSerie, TachesDansLOrdreSurUnSeulFilNomme) {
  FileSerie file("ravlo.essai");
  std::vector<int> ordre;
  std::promise<std::string> nom;
  for (int i = 0; i < 100; ++i) file.poster([&ordre, i] { ordre.push_back(i); });
  file.poster([&] {
    char n[16] = {};
    pthread_getname_np(pthread_self(), n, sizeof n);
    nom.set_value(n);
  });
  EXPECT_EQ(nom.get_future().get(), "ravlo.essai");
  std::vector<int> attendu(100);
  std::iota(attendu.begin(), attendu.end(), 0);
  EXPECT_EQ(ordre, attendu);
}

TEST(FileSerie, PosterApresRespecteLeDelai) {
  FileSerie file("ravlo.essai");
  const auto debut = std::chrono::steady_clock::now();
  std::promise<std::chrono::steady_clock::time_point> fin;
  file.posterApres(30ms, [&] { fin.set_value(std::chrono::steady_clock::now()); });
  EXPECT_GE(fin.get_future().get() - debut, 30ms);
}

// Les tirs suivent les échéances précédentes : pas de dérive cumulée, même avec une tâche
// lente ; l'annulation depuis un autre fil arrête tout.
TEST(FileSerie, MinuterieSansDeriveEtAnnulable) {
  FileSerie file("ravlo.essai");
  std::atomic<int> tirs{0};
  std::promise<void> vingt;
  const auto debut = std::chrono::steady_clock::now();
  auto minuterie = file.repeter(5ms, 1ms, [&] {
    std::this_thread::sleep_for(4ms);
    if (++tirs == 21) vingt.set_value();
  });
  vingt.get_future().wait();
  const auto duree = std::chrono::steady_clock::now() - debut;
  // 20 intervalles après le premier tir immédiat : 100 ms ; une minuterie qui réarmerait
  // depuis la fin de la tâche mettrait 20 × 9 ms.
  EXPECT_GE(duree, 100ms);
  EXPECT_LT(duree, 160ms);
  minuterie->annuler();
  std::promise<void> repere;
  file.poster([&] { repere.set_value(); });
  repere.get_future().wait();
  const int apres = tirs.load();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(tirs.load(), apres);
}

// Annulée depuis un autre fil pendant un tir : `annuler()` rend la main une fois ce tir
// fini, et rien ne tourne plus ensuite.
TEST(ConcurrenceMinuterie, RienNeTourneApresAnnuler) {
  FileSerie file("ravlo.essai");
  for (int essai = 0; essai < 20; ++essai) {
    std::atomic<bool> annulee{false};
    std::atomic<int> fautes{0};
    std::promise<void> commence;
    std::atomic<int> tirs{0};
    auto minuterie = file.repeter(100us, 10us, [&] {
      if (annulee) ++fautes;
      if (++tirs == 1) commence.set_value();
      std::this_thread::sleep_for(200us);
      if (annulee) ++fautes;
    });
    commence.get_future().wait();
    minuterie->annuler();
    annulee = true;
    std::this_thread::sleep_for(1ms);
    EXPECT_EQ(fautes, 0) << "essai " << essai;
  }
}

TEST(FileSerie, DetruiteDepuisSonPropreFil) {
  auto file = std::make_shared<FileSerie>("ravlo.essai");
  std::promise<void> fait;
  FileSerie* brute = file.get();
  brute->poster([file = std::move(file), &fait]() mutable {
    file.reset();  // la dernière référence part sur le fil même de la file
    fait.set_value();
  });
  EXPECT_EQ(fait.get_future().wait_for(2s), std::future_status::ready);
}

}  // namespace
}  // namespace ravlo
