// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "link/app/plateforme_app.hpp"

namespace ravlo {

/// Compte les demandes du panneau.
class PlateformeAppEnregistreuse final : public PlateformeApp {
 public:
  void ouvrirReglages() override { ++reglagesOuverts; }
  void quitter() override { ++quitterDemande; }

  int reglagesOuverts = 0;
  int quitterDemande = 0;
};

}  // namespace ravlo
