// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/principal_qt.hpp"

#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <thread>

namespace ravlo {
namespace {

using namespace std::chrono_literals;

// Postées d'un autre fil, les tâches tournent sur le fil de Qt, dans l'ordre ; une minuterie
// annulée d'un autre fil ne tire plus.
TEST(PrincipalQt, TachesDAutresFilsEtMinuterieAnnuleeDAilleurs) {
  PrincipalQt principal;
  std::vector<std::pair<int, std::thread::id>> vus;
  std::thread([&] {
    for (int i = 1; i <= 3; ++i)
      principal.poster([&, i] { vus.emplace_back(i, std::this_thread::get_id()); });
  }).join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return vus.size() == 3; }, 2000));
  const auto qt = std::this_thread::get_id();
  EXPECT_EQ(vus, (std::vector<std::pair<int, std::thread::id>>{{1, qt}, {2, qt}, {3, qt}}));

  std::atomic<int> tirs{0};
  auto minuterie = principal.repeter(5ms, 1ms, [&] { ++tirs; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return tirs.load() >= 3; }, 2000));
  std::thread([&] { minuterie->annuler(); }).join();
  const int avant = tirs.load();
  QTest::qWait(40);
  EXPECT_EQ(tirs.load(), avant);
}

}  // namespace
}  // namespace ravlo
