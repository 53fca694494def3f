// SPDX-License-Identifier: MPL-2.0
#include "plateforme/demande_temps_reel.hpp"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ravlo {

pid_t filCourant() {
  return static_cast<pid_t>(::syscall(SYS_gettid));
}

std::optional<RefusTempsReel> DemandeTempsReel::rendreTempsReel(pid_t tid) {
  const std::lock_guard garde(verrou_);
  if (acces_.fifoDirect(tid, prioriteVoulue) == 0) return std::nullopt;
  const auto bornes = acces_.bornesRtkit();
  if (!bornes) return (RefusTempsReel{CasRefusTempsReel::serviceAbsent, bornes.error()});
  if (bornes->prioriteMax < 1 || bornes->tempsCpuMaxUs <= 0) {
    return (RefusTempsReel{CasRefusTempsReel::refuse, EPERM});
  }
  const auto tempsMax = static_cast<std::uint64_t>(bornes->tempsCpuMaxUs);
  if (acces_.tempsCpuLimiteUs() > tempsMax) {
    if (const int e = acces_.limiterTempsCpu(tempsMax); e != 0) {
      return (RefusTempsReel{CasRefusTempsReel::refuse, e});
    }
  }
  if (const int e = acces_.fifoParRtkit(tid, std::min(prioriteVoulue, bornes->prioriteMax));
      e != 0) {
    return (RefusTempsReel{CasRefusTempsReel::refuse, e});
  }
  return std::nullopt;
}

}  // namespace ravlo
