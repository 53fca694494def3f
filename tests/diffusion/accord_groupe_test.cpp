// SPDX-License-Identifier: MPL-2.0
// L'accord du groupe face aux besoins qu'un récepteur peut dire : bornés, sans tour d'entier.
#include "link/diffusion/accord_groupe.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace ravlo {
namespace {

// Un besoin que la file d'un récepteur ne tient pas ne compte pas : seul, il ne fait pas de
// groupe (2⁶⁴ − 2 faisait le tour des entiers jusqu'à 4 ms) ; après un besoin sain, il ne le
// fait pas monter (10 s le portaient à 10 004 ms, 2⁶³ ns à 9,2·10¹² ms). La borne elle-même
// passe, et reste sous ce que tient un récepteur.
TEST(AccordGroupe, UnBesoinHorsDeLaFileNeComptePas) {
  constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  constexpr InstantNs t0 = 1'000'000'000'000;
  for (const std::uint64_t hostile : {std::uint64_t{10'000'000'000}, std::uint64_t{1} << 63,
                                      max - 1, max, AccordGroupe::besoinMaxNs + 1}) {
    SCOPED_TRACE(hostile);
    AccordGroupe seul;
    EXPECT_FALSE(seul.accorder(2, hostile, t0));
    EXPECT_FALSE(seul.latenceNs());

    AccordGroupe sain;
    ASSERT_EQ(sain.accorder(2, 30'000'000, t0), 36'000'000u);
    for (InstantNs t = t0; t < t0 + 5'000'000'000; t += 100'000'000) sain.accorder(2, hostile, t);
    EXPECT_EQ(sain.latenceNs(), 36'000'000u);
  }
  AccordGroupe borne;
  const auto l = borne.accorder(2, AccordGroupe::besoinMaxNs, t0);
  ASSERT_TRUE(l);
  EXPECT_GT(*l, AccordGroupe::besoinMaxNs);
  EXPECT_LE(*l, MessageGroupe::latenceMaxNs);
}

}  // namespace
}  // namespace ravlo
