// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/executeur.hpp"

namespace ravlo {

/// La ligne suivante de `entree`, sans sa fin de ligne ni le retour chariot d'un fichier
/// écrit sous Windows ; rien à la fin du flux.
[[nodiscard]] std::optional<std::string> lireLigne(std::istream& entree);

/// Les lignes d'un flux (l'entrée standard), lues sur un fil à part et rendues une à une sur
/// `file`, sans leur fin de ligne ni le retour chariot d'un terminal Windows. Le fil reste
/// bloqué dans sa lecture jusqu'à la fin du flux ou du processus : on ne l'attend pas ;
/// après la destruction, plus aucun rappel ne commence et plus rien n'est posté.
class LignesEntree {
 public:
  LignesEntree(std::istream& entree, Executeur& file, std::function<void(std::string)> ligne);
  ~LignesEntree();
  LignesEntree(const LignesEntree&) = delete;
  LignesEntree& operator=(const LignesEntree&) = delete;

  struct Etat;

 private:
  std::shared_ptr<Etat> etat_;
};

}  // namespace ravlo
