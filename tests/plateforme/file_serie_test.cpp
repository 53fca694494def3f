#include "plateforme/file_serie.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace ravlo {
namespace {

using namespace std::chrono_literals;

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
