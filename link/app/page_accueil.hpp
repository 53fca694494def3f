// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/app/modele_link.hpp"

namespace ravlo {

/// La page de la fenêtre d'accueil, recalculée à chaque changement du modèle : `bienvenue`
/// tant qu'on n'a pas commencé ; puis `refus` dès que la recherche attend ou échoue (texte
/// du réseau) ou que la sonde du son a échoué (texte fixe), `pret` quand la sonde a réussi
/// et la recherche est active, `verifications` entre les deux : on y attend qu'avahi-daemon
/// réponde et que le serveur de son laisse capter une seconde.
struct PageAccueil {
  enum class Cas : std::uint8_t { refus, bienvenue, verifications, pret };
  Cas cas = Cas::bienvenue;
  /// Pour `refus` seulement, déjà traduits.
  std::string titre;
  std::string texte;
  /// Pour `refus` : le son manque (sinon, le réseau).
  bool refusDuSon = false;

  bool operator==(const PageAccueil&) const = default;

  [[nodiscard]] static PageAccueil depuis(bool commence, const ModeleLink& modele,
                                          std::string_view locale);
};

}  // namespace ravlo
