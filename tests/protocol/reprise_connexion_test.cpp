#include "protocol/reprise_connexion.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

using Decision = RepriseConnexion::Decision;
constexpr std::uint64_t ms = 1'000'000;
constexpr std::uint64_t s = 1'000 * ms;

TEST(RepriseConnexion, UneTentativeParSecondeEtAbandonATrenteSecondes) {
  RepriseConnexion reprise;
  EXPECT_EQ(reprise.verifier(UINT64_MAX), Decision::rien) << "sain, quelle que soit l'heure";
  EXPECT_EQ(reprise.decider(10 * s), Decision::rien) << "la connexion tombée garde sa seconde";
  EXPECT_EQ(reprise.enPanneDepuisNs(), 10 * s);
  EXPECT_EQ(reprise.decider(10'500 * ms), Decision::rien);
  EXPECT_EQ(reprise.decider(11 * s), Decision::recreer);
  EXPECT_EQ(reprise.tentativeNs(), 11 * s);
  EXPECT_EQ(reprise.decider(11'900 * ms), Decision::rien);
  EXPECT_EQ(reprise.decider(12 * s), Decision::recreer);
  EXPECT_EQ(reprise.verifier(40 * s - 1), Decision::rien);
  EXPECT_EQ(reprise.decider(40 * s - 1), Decision::recreer);
  EXPECT_EQ(reprise.verifier(40 * s), Decision::abandonner);
  EXPECT_EQ(reprise.decider(40 * s), Decision::abandonner);
  EXPECT_EQ(reprise.decider(41 * s), Decision::abandonner);
  EXPECT_EQ(reprise.tentativeNs(), 40 * s - 1) << "l'abandon ne compte pas pour une tentative";
}

TEST(RepriseConnexion, RetablieOuvreUneNouvellePanne) {
  RepriseConnexion reprise;
  reprise.decider(10 * s);
  reprise.decider(11 * s);
  reprise.retablie();
  EXPECT_EQ(reprise.enPanneDepuisNs(), std::nullopt);
  EXPECT_EQ(reprise.tentativeNs(), 11 * s);
  EXPECT_EQ(reprise.verifier(100 * s), Decision::rien);
  EXPECT_EQ(reprise.decider(100 * s), Decision::rien);
  EXPECT_EQ(reprise.decider(129 * s), Decision::recreer);
  EXPECT_EQ(reprise.decider(130 * s), Decision::abandonner);
}

TEST(RepriseConnexion, UneHeureUnPeuPlusTotNiRecreeNiAbandonne) {
  RepriseConnexion reprise;
  reprise.decider(10 * s);
  EXPECT_EQ(reprise.decider(10 * s - 1), Decision::rien);
  EXPECT_EQ(reprise.verifier(10 * s - 1), Decision::rien);
  // Panne ouverte juste avant le tour de l'horloge, lue juste après.
  RepriseConnexion tour;
  tour.decider(UINT64_MAX - s + 1);
  EXPECT_EQ(tour.decider(1), Decision::recreer);
  EXPECT_EQ(tour.verifier(29 * s), Decision::abandonner);
}

}  // namespace
}  // namespace ravlo
