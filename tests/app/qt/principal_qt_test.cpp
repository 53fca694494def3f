#include "link/app/qt/principal_qt.hpp"

#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <thread>
#include <vector>

#include "link/plateforme/horloge.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

TEST(PrincipalQt, LesTachesDAutresFilsTournentSurLeFilPrincipalDansLOrdre) {
  PrincipalQt principal;
  std::vector<int> ordre;
  std::vector<std::thread::id> fils;
  std::thread autre([&] {
    for (int i = 1; i <= 3; ++i) {
      principal.poster([&, i] {
        ordre.push_back(i);
        fils.push_back(std::this_thread::get_id());
      });
    }
  });
  autre.join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return ordre.size() == 3; }, 2000));
  EXPECT_EQ(ordre, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(fils, (std::vector<std::thread::id>(3, std::this_thread::get_id())));
}

TEST(PrincipalQt, PosterApresNePartPasAvantLEcheance) {
  PrincipalQt principal;
  const InstantNs debut = horlogeSysteme().continueNs();
  InstantNs tir = 0;
  principal.posterApres(30ms, [&] { tir = horlogeSysteme().continueNs(); });
  EXPECT_TRUE(QTest::qWaitFor([&] { return tir != 0; }, 2000));
  EXPECT_GE(tir - debut, 30'000'000U);
}

TEST(PrincipalQt, UneMinuterieAnnuleeDUnAutreFilNeTirePlus) {
  PrincipalQt principal;
  std::atomic<int> tirs{0};
  auto minuterie = principal.repeter(5ms, 1ms, [&] { ++tirs; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return tirs.load() >= 3; }, 2000));
  std::thread([&] { minuterie->annuler(); }).join();
  const int avant = tirs.load();
  QTest::qWait(40);
  EXPECT_EQ(tirs.load(), avant);
}

TEST(PrincipalQt, LesTachesEnAttenteMeurentAvecLui) {
  bool tiree = false;
  {
    PrincipalQt principal;
    principal.poster([&] { tiree = true; });
    principal.posterApres(5ms, [&] { tiree = true; });
  }
  QTest::qWait(30);
  EXPECT_FALSE(tiree);
}

}  // namespace
}  // namespace ravlo
