#include "protocol/silence_iphone.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

constexpr std::uint64_t s = 1'000'000'000;

TEST(SilenceIPhone, SilencieuxATroisSecondesPerduADixMinutes) {
  SilenceIPhone silence(0);
  silence.entendu(50 * s);
  EXPECT_FALSE(silence.estSilencieux(53 * s - 1));
  EXPECT_TRUE(silence.estSilencieux(53 * s));
  EXPECT_FALSE(silence.estPerdu(650 * s - 1));
  EXPECT_TRUE(silence.estPerdu(650 * s));
  silence.entendu(649 * s);
  EXPECT_FALSE(silence.estSilencieux(650 * s));
  EXPECT_FALSE(silence.estPerdu(650 * s));
}

TEST(SilenceIPhone, LHeureEntendueNeReculeJamais) {
  SilenceIPhone silence(100 * s);
  EXPECT_FALSE(silence.estSilencieux(102 * s)) << "on attend depuis la construction";
  silence.entendu(90 * s);
  EXPECT_EQ(silence.entenduNs(), 100 * s);
  // Une heure lue un peu avant le dernier « entendu » : ni silencieux ni perdu.
  EXPECT_FALSE(silence.estSilencieux(100 * s - 1));
  EXPECT_FALSE(silence.estPerdu(100 * s - 1));
  // Le tour de l'horloge.
  SilenceIPhone tour(UINT64_MAX - s);
  EXPECT_FALSE(tour.estSilencieux(2 * s - 2));
  EXPECT_TRUE(tour.estSilencieux(2 * s - 1));
  tour.entendu(5);
  EXPECT_EQ(tour.entenduNs(), 5u);
}

}  // namespace
}  // namespace ravlo
