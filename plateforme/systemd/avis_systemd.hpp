// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "plateforme/avis_service.hpp"

namespace ravlo {

/// `AvisService` par sd_notify : la socket que nomme NOTIFY_SOCKET et l'intervalle de
/// WATCHDOG_USEC, lus à la construction (avant tout fil : libsystemd lit l'environnement).
/// Hors de systemd (ni l'une ni l'autre), rien ne part.
class AvisSystemd final : public AvisService {
 public:
  AvisSystemd();
  void pret() override;
  void etat(std::string_view ligne) override;
  void vivant() override;
  void arret() override;
  [[nodiscard]] std::optional<std::chrono::microseconds> periodeVivant() const override;

 private:
  std::optional<std::chrono::microseconds> periode_;
};

}  // namespace ravlo
