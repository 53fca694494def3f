// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plateforme/avis_service.hpp"

namespace ravlo::faux {

/// Un gestionnaire de services qui note ce qu'on lui dit, dans l'ordre (« READY », « STATUS=… »,
/// « WATCHDOG », « STOPPING »). À relire une fois le service arrêté.
class AvisEnregistreur final : public AvisService {
 public:
  void pret() override { dits.emplace_back("READY"); }
  void etat(std::string_view ligne) override { dits.push_back("STATUS=" + std::string(ligne)); }
  void vivant() override { dits.emplace_back("WATCHDOG"); }
  void arret() override { dits.emplace_back("STOPPING"); }
  /// Sans chien de garde : il se nourrit face au vrai gestionnaire (service_systemd_test.cpp).
  [[nodiscard]] std::optional<std::chrono::microseconds> periodeVivant() const override {
    return std::nullopt;
  }

  std::vector<std::string> dits;
};

}  // namespace ravlo::faux
