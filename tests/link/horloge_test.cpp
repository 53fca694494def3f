#include <gtest/gtest.h>

#include "link/plateforme/horloge.hpp"

namespace ravlo {
namespace {

TEST(HorlogeSysteme, LesDeuxHorlogesAvancentSansReculer) {
  const Horloge& h = horlogeSysteme();
  InstantNs hote = h.hoteNs();
  InstantNs continue_ = h.continueNs();
  for (int i = 0; i < 10'000; ++i) {
    const InstantNs a = h.hoteNs();
    const InstantNs b = h.continueNs();
    ASSERT_GE(a, hote);
    ASSERT_GE(b, continue_);
    hote = a;
    continue_ = b;
  }
}

}  // namespace
}  // namespace ravlo
