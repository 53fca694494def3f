// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <mutex>

#include "plateforme/planification_temps_reel.hpp"

namespace ravlo {

/// Ce que la demande de temps réel touche du système : le noyau, et rtkit sur le bus système.
class AccesOrdonnancement {
 public:
  /// Ce que rtkit accorde au plus (propriétés MaxRealtimePriority et RTTimeUSecMax).
  struct BornesRtkit {
    int prioriteMax = 0;
    std::int64_t tempsCpuMaxUs = 0;
  };

  virtual ~AccesOrdonnancement() = default;
  /// SCHED_FIFO | SCHED_RESET_ON_FORK au fil, soi-même : 0 ou errno (EPERM sans droit).
  virtual int fifoDirect(pid_t tid, int priorite) = 0;
  /// Les bornes de rtkit ; errno quand le bus système ou rtkit manque.
  virtual std::expected<BornesRtkit, int> bornesRtkit() = 0;
  /// Limite dure de RLIMIT_RTTIME du processus, µs (UINT64_MAX : aucune).
  virtual std::uint64_t tempsCpuLimiteUs() = 0;
  /// Fixe RLIMIT_RTTIME du processus à `us` : 0 ou errno.
  virtual int limiterTempsCpu(std::uint64_t us) = 0;
  /// Demande à rtkit SCHED_FIFO pour le fil : 0 ou errno.
  virtual int fifoParRtkit(pid_t tid, int priorite) = 0;
};

/// `PlanificationTempsReel` comme la demandent les clients de son du bureau : le fil passe
/// d'abord lui-même en SCHED_FIFO (root, ou RLIMIT_RTPRIO suffisante) ; refusé, il le demande
/// à rtkit, qui ne l'accorde qu'à un processus dont RLIMIT_RTTIME ne dépasse pas la sienne
/// (200 ms d'ordinaire) : la limite est abaissée d'abord, jamais relevée. La priorité est
/// `prioriteVoulue`, bornée par celle que rtkit permet.
///
/// Les demandes passent une à une : appelable de plusieurs fils à la fois.
class DemandeTempsReel final : public PlanificationTempsReel {
 public:
  /// Sous les fils de PulseAudio (5) et de PipeWire (20 sous rtkit) : le serveur de son, qui
  /// mélange pour tous, passe avant nous ; mais avant tout fil ordinaire de la machine.
  static constexpr int prioriteVoulue = 4;

  explicit DemandeTempsReel(AccesOrdonnancement& acces) : acces_(acces) {}

  [[nodiscard]] std::optional<RefusTempsReel> rendreTempsReel(pid_t tid) override;

 private:
  AccesOrdonnancement& acces_;
  std::mutex verrou_;
};

}  // namespace ravlo
