// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace ravlo {

/// Pourquoi un fil est resté à l'ordonnancement ordinaire.
enum class CasRefusTempsReel : std::uint8_t {
  refuse,         ///< le noyau et rtkit ont dit non (droits, bornes, quota de rtkit)
  serviceAbsent,  ///< pas le droit de le faire soi-même, et ni bus système ni rtkit
};

struct RefusTempsReel {
  CasRefusTempsReel cas;
  int code = 0;  ///< errno du dernier refus
  bool operator==(const RefusTempsReel&) const = default;
};

/// Met un fil du processus en temps réel (SCHED_FIFO, que ses enfants ne gardent pas), à
/// une priorité modeste : sous celle des fils du serveur de son, qui doivent passer avant.
/// Rend le refus, ou rien quand c'est fait. Un refus ne change rien d'autre : le fil tourne comme
/// avant, et le son avec lui.
///
/// Peut bloquer (un aller-retour D-Bus, borné) : une fois par fil, jamais depuis un rappel
/// temps réel. Appelable de n'importe quel fil, pour lui-même ou pour un autre du processus.
class PlanificationTempsReel {
 public:
  virtual ~PlanificationTempsReel() = default;
  [[nodiscard]] virtual std::optional<RefusTempsReel> rendreTempsReel(pid_t tid) = 0;
};

/// L'identifiant noyau du fil appelant (`gettid`), celui que prend `rendreTempsReel`.
[[nodiscard]] pid_t filCourant();

}  // namespace ravlo
