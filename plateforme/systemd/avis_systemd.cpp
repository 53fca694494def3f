// SPDX-License-Identifier: MPL-2.0
#include "plateforme/systemd/avis_systemd.hpp"

#include <systemd/sd-daemon.h>

#include <string>

namespace ravlo {

AvisSystemd::AvisSystemd() {
  std::uint64_t us = 0;
  // 0 garde l'environnement : un programme que lance le programme est lui aussi surveillé s'il
  // le demande ; le récepteur n'en lance aucun.
  if (sd_watchdog_enabled(0, &us) > 0 && us >= 2) periode_ = std::chrono::microseconds(us / 2);
}

void AvisSystemd::pret() {
  (void)sd_notify(0, "READY=1");
}

void AvisSystemd::etat(std::string_view ligne) {
  std::string message = "STATUS=";
  // Une ligne : un saut de ligne commencerait une autre affectation.
  for (const char c : ligne) message += c == '\n' ? ' ' : c;
  (void)sd_notify(0, message.c_str());
}

void AvisSystemd::vivant() {
  (void)sd_notify(0, "WATCHDOG=1");
}

void AvisSystemd::arret() {
  (void)sd_notify(0, "STOPPING=1");
}

std::optional<std::chrono::microseconds> AvisSystemd::periodeVivant() const {
  return periode_;
}

}  // namespace ravlo
