#include "link/app/qt/duree_link.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace ravlo {
namespace {

TEST(TexteDuree, MinutesSousLHeurePuisHeures) {
  const struct {
    double secondes;
    const char* attendu;
  } cas[] = {{0, "0:00"},        {59, "0:59"},
             {61, "1:01"},       {3599.9, "59:59"},
             {3600, "1:00:00"},  {3661, "1:01:01"},
             {-3, "0:00"},       {std::numeric_limits<double>::quiet_NaN(), "0:00"},
             {36000, "10:00:00"}};
  for (const auto& c : cas) EXPECT_EQ(texteDuree(c.secondes), c.attendu) << c.secondes;
}

}  // namespace
}  // namespace ravlo
