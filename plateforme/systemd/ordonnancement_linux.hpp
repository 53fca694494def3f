// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "plateforme/demande_temps_reel.hpp"

namespace ravlo {

/// `AccesOrdonnancement` sur Linux : sched_setscheduler et RLIMIT_RTTIME pour le noyau,
/// org.freedesktop.RealtimeKit1 sur le bus système (sd-bus) pour rtkit. Chaque appel à rtkit
/// ouvre sa connexion au bus et attend sa réponse 500 ms au plus : un bus absent répond
/// aussitôt par une erreur, un rtkit bloqué ne retient pas l'appelant.
class OrdonnancementLinux final : public AccesOrdonnancement {
 public:
  int fifoDirect(pid_t tid, int priorite) override;
  std::expected<BornesRtkit, int> bornesRtkit() override;
  std::uint64_t tempsCpuLimiteUs() override;
  int limiterTempsCpu(std::uint64_t us) override;
  int fifoParRtkit(pid_t tid, int priorite) override;
};

/// La demande de temps réel du processus, sur `OrdonnancementLinux`.
[[nodiscard]] PlanificationTempsReel& planificationSysteme();

}  // namespace ravlo
