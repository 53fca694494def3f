#include "link/envoi/options_envoi.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace ravlo {
namespace {

std::expected<OptionsEnvoi, std::string> lire(std::vector<const char*> arguments) {
  return OptionsEnvoi::lire(arguments);
}

TEST(OptionsEnvoi, RecepteurParSonNomALaPlaceDUnPoint) {
  const auto o = lire({"--recepteur", "Salon à l'étage", "--code", "1234"});
  ASSERT_TRUE(o.has_value()) << o.error();
  EXPECT_EQ(o->recepteur, "Salon à l'étage");
  EXPECT_FALSE(o->liste);

  EXPECT_FALSE(lire({"--recepteur", "Salon", "--vers", "127.0.0.1:5", "--code", "1234"}));
  EXPECT_FALSE(lire({"--recepteur", "Salon"})) << "sans code";
  EXPECT_FALSE(lire({"--code", "1234"})) << "ni point ni nom";
}

TEST(OptionsEnvoi, ListeSeuleSansValeur) {
  const auto o = lire({"--liste"});
  ASSERT_TRUE(o.has_value()) << o.error();
  EXPECT_TRUE(o->liste);
  EXPECT_FALSE(lire({"--liste", "--code", "1234"}));
}

}  // namespace
}  // namespace ravlo
