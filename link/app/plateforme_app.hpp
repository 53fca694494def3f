#pragma once

#include <functional>

namespace ravlo {

/// Ce que le panneau demande au bureau : ouvrir les réglages de confidentialité du système,
/// quitter l'application. L'interface graphique le réalise ; les programmes sans interface et
/// les tests prennent `PlateformeAppEnregistreuse`. Fil principal.
class PlateformeApp {
 public:
  virtual ~PlateformeApp() = default;
  /// Sans effet quand le bureau n'a pas de tels réglages.
  virtual void ouvrirReglages() = 0;
  virtual void quitter() = 0;
};

/// Compte les demandes ; `quandQuitter`, s'il est donné, est appelé à chaque `quitter()`
/// (un programme sans interface y arrête sa boucle).
class PlateformeAppEnregistreuse final : public PlateformeApp {
 public:
  void ouvrirReglages() override { ++reglagesOuverts; }
  void quitter() override {
    ++quitterDemande;
    if (quandQuitter) quandQuitter();
  }

  int reglagesOuverts = 0;
  int quitterDemande = 0;
  std::function<void()> quandQuitter;
};

}  // namespace ravlo
