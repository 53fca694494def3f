// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>

#include "plateforme/executeur.hpp"

class QObject;

namespace ravlo {

/// Le fil principal de l'application graphique : les tâches passent par la boucle
/// d'évènements de Qt du fil qui construit l'objet (celui de `QApplication`). `poster`,
/// `posterApres`, `repeter` et l'annulation d'une minuterie sont sûrs depuis n'importe quel
/// fil ; les délais se mesurent sur l'horloge continue. Les tâches encore en attente à la
/// destruction ne s'exécutent pas.
class PrincipalQt final : public Executeur {
 public:
  PrincipalQt();
  ~PrincipalQt() override;
  PrincipalQt(const PrincipalQt&) = delete;
  PrincipalQt& operator=(const PrincipalQt&) = delete;

  void poster(Tache tache) override;
  void posterApres(std::chrono::nanoseconds delai, Tache tache) override;
  [[nodiscard]] std::unique_ptr<Minuterie> repeter(std::chrono::nanoseconds intervalle,
                                                   std::chrono::nanoseconds tolerance,
                                                   Tache tache) override;

 private:
  // Porte les appels en file et les minuteries ; les détruire avec lui les annule.
  std::unique_ptr<QObject> contexte_;
};

}  // namespace ravlo
