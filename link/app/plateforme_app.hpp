// SPDX-License-Identifier: MPL-2.0
#pragma once

namespace ravlo {

/// Ce que le panneau demande au bureau : ouvrir les réglages de confidentialité du système,
/// quitter l'application. L'interface graphique le réalise. Fil principal.
class PlateformeApp {
 public:
  virtual ~PlateformeApp() = default;
  /// Sans effet quand le bureau n'a pas de tels réglages.
  virtual void ouvrirReglages() = 0;
  virtual void quitter() = 0;
};

}  // namespace ravlo
