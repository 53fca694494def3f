// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>

#include "protocol/messages/etat_carte.hpp"

namespace ravlo {

/// Publie l'état de la carte sans doublon : un état égal à celui déjà affiché ne repart pas.
/// La première publication passe toujours.
class PublicationCarte {
 public:
  /// L'état à publier maintenant, ou rien s'il est déjà affiché.
  std::optional<EtatCarte> publier(EtatCarte etat) {
    if (affiche_ == etat) return std::nullopt;
    affiche_ = etat;
    return etat;
  }

  /// Le dernier état publié.
  [[nodiscard]] std::optional<EtatCarte> affiche() const { return affiche_; }

 private:
  std::optional<EtatCarte> affiche_;
};

}  // namespace ravlo
