// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "link/app/plateforme_app.hpp"

namespace ravlo {

/// Le bureau pour le panneau : `ouvrirReglages` ouvre les réglages du réseau (le panneau
/// choisit lui-même ceux du son quand son message parle du son), `quitter` termine la boucle
/// de Qt. Fil principal.
class PlateformeAppQt final : public PlateformeApp {
 public:
  void ouvrirReglages() override;
  void quitter() override;
};

}  // namespace ravlo
