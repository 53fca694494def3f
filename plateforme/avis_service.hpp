// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace ravlo {

/// Ce qu'un programme dit au gestionnaire de services qui l'a lancé : prêt, son état en une
/// ligne, qu'il vit encore, qu'il s'arrête. Sans gestionnaire, chaque appel ne fait rien.
/// Appelé sur le fil principal seulement.
class AvisService {
 public:
  virtual ~AvisService() = default;
  /// À l'écoute (et annoncé, s'il s'annonce) : le gestionnaire lance ce qui l'attend.
  virtual void pret() = 0;
  /// L'état que montre le gestionnaire (`systemctl status`), une ligne.
  virtual void etat(std::string_view ligne) = 0;
  /// La boucle principale tourne encore ; sans cela, passé l'intervalle du chien de garde, le
  /// gestionnaire relance le programme.
  virtual void vivant() = 0;
  virtual void arret() = 0;
  /// La période de `vivant` : la moitié de l'intervalle du chien de garde ; absente sans lui.
  [[nodiscard]] virtual std::optional<std::chrono::microseconds> periodeVivant() const = 0;
};

}  // namespace ravlo
