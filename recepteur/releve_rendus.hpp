// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"
#include "recepteur/evenements_lecture.hpp"

namespace ravlo {

/// Ce que le rendu relève pour le pilote : la taille médiane des blocs que la sortie demande,
/// et l'heure de chaque rendu daté face à l'heure de capture de sa première trame. Fil de
/// rendu ; la `FileLecture` en publie la valeur.
///
/// La médiane des `blocsRetenus` derniers blocs : après une sous-alimentation, PulseAudio
/// redemande d'un coup tout son tampon (15 ms au lieu de 3) ; ce bloc-là, pris pour la taille
/// des rendus, montait la cible d'autant, et avec elle le besoin du groupe.
class ReleveRendus {
 public:
  static constexpr std::size_t blocsRetenus = 9;

  /// Rendu daté : relie l'horloge de l'émetteur à l'horloge de sortie locale.
  struct Rendu {
    InstantNs heureNs = 0;    ///< heure hôte du rendu, donnée par le rappel
    InstantNs captureNs = 0;  ///< heure de capture (émetteur) de sa première trame
    bool operator==(const Rendu&) const = default;
  };

  /// Les écarts (heure du rendu moins heure de capture) cumulés depuis `epoque`, comptés
  /// depuis `reference`, le premier d'entre eux : des entiers sans perte sur des jours.
  struct Ecarts {
    std::uint32_t epoque = 0;
    bool connus = false;
    std::int64_t reference = 0;
    std::int64_t somme = 0;
    std::int64_t nombre = 0;
  };

  void noterBloc(std::int64_t trames);
  [[nodiscard]] std::optional<std::int64_t> blocTrames() const { return blocTrames_; }

  /// Un rendu : son heure s'il en a une, la capture de sa première trame s'il a joué du son.
  /// Rend `repriseHeure` quand il est daté après un ou plusieurs qui ne l'étaient pas.
  Evenements noterRendu(std::optional<InstantNs> heureNs, std::optional<InstantNs> captureNs);
  [[nodiscard]] const std::optional<Rendu>& dernierRendu() const { return dernierRendu_; }
  [[nodiscard]] std::int64_t reprisesHeure() const { return reprisesHeure_; }
  [[nodiscard]] const Ecarts& ecarts() const { return ecarts_; }
  /// La file repart : les écarts d'avant ne se mêlent pas aux nouveaux.
  void oublierEcarts();

 private:
  std::array<std::int64_t, blocsRetenus> blocs_{};
  std::size_t blocsNotes_ = 0;
  std::optional<std::int64_t> blocTrames_;
  bool heurePerdue_ = false;  ///< le dernier rendu était sans heure
  std::int64_t reprisesHeure_ = 0;
  std::optional<Rendu> dernierRendu_;
  Ecarts ecarts_;
};

}  // namespace ravlo
