// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <vector>

#include "link/decouverte/carnet_recepteurs.hpp"

namespace ravlo::faux {

/// Le carnet en mémoire ; `contenu` se lit et s'écrit comme le ferait un autre processus.
struct CarnetMemoire final : CarnetRecepteurs {
  std::vector<RecepteurMemorise> contenu;
  [[nodiscard]] std::vector<RecepteurMemorise> lire() override { return contenu; }
  [[nodiscard]] std::expected<void, std::string> ecrire(
      const std::vector<RecepteurMemorise>& c) override {
    contenu = c;
    return {};
  }
};

}  // namespace ravlo::faux
