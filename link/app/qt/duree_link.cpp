#include "link/app/qt/duree_link.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace ravlo {

std::string texteDuree(double secondes) {
  // Borne haute : un siècle, pour que la conversion en entier reste définie.
  constexpr double plafond = 100.0 * 365 * 24 * 3600;
  const auto s = std::isfinite(secondes) && secondes > 0
                     ? static_cast<std::int64_t>(std::min(secondes, plafond))
                     : std::int64_t{0};
  char tampon[32];
  if (s < 3600) {
    std::snprintf(tampon, sizeof tampon, "%d:%02d", static_cast<int>(s / 60),
                  static_cast<int>(s % 60));
  } else {
    std::snprintf(tampon, sizeof tampon, "%lld:%02d:%02d", static_cast<long long>(s / 3600),
                  static_cast<int>((s / 60) % 60), static_cast<int>(s % 60));
  }
  return tampon;
}

}  // namespace ravlo
