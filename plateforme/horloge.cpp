// SPDX-License-Identifier: MPL-2.0
#include "plateforme/horloge.hpp"

#include <time.h>

namespace ravlo {
namespace {

InstantNs lire(clockid_t horloge) {
  timespec t{};
  clock_gettime(horloge, &t);
  return static_cast<InstantNs>(t.tv_sec) * 1'000'000'000u + static_cast<InstantNs>(t.tv_nsec);
}

}  // namespace

InstantNs hoteNs() {
  return lire(CLOCK_MONOTONIC_RAW);
}

InstantNs HorlogeSysteme::hoteNs() const {
  return ravlo::hoteNs();
}

InstantNs HorlogeSysteme::continueNs() const {
  return lire(CLOCK_BOOTTIME);
}

const Horloge& horlogeSysteme() {
  static const HorlogeSysteme systeme;
  return systeme;
}

}  // namespace ravlo
