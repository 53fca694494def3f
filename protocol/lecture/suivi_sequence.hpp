#pragma once

#include <cstdint>
#include <optional>

namespace ravlo {

/// Compte, côté récepteur, les paquets audio reçus dans l'ordre, perdus et en retard, d'après
/// leurs numéros de séquence (qui font le tour à 2³²).
///
/// Un numéro en avance sur le dernier accepté (de 1 à 2³¹ − 1 crans, modulo 2³²) est neuf :
/// les numéros sautés sont comptés perdus. Un numéro en arrière de 500 crans au plus, ou le
/// même, est en retard ou doublon : compté hors ordre et à ne pas jouer, sans corriger les
/// pertes. Plus loin en arrière, l'émetteur a recommencé sa numérotation : le numéro est
/// neuf, sans remise à zéro des compteurs.
///
/// Exemple : 7, 8, 11 donnent reçus 3 et perdus 2 ; puis 9 est hors ordre ; après 1000, le
/// numéro 499 (501 en arrière) est un redémarrage.
class SuiviSequence {
 public:
  static constexpr std::uint32_t fenetreRetard = 500;

  /// Compte un numéro arrivé ; vrai si le paquet est neuf (à jouer).
  bool noter(std::uint32_t sequence);

  [[nodiscard]] std::int64_t recus() const { return recus_; }
  [[nodiscard]] std::int64_t perdus() const { return perdus_; }
  [[nodiscard]] std::int64_t horsOrdre() const { return horsOrdre_; }
  /// Le dernier numéro accepté dans l'ordre.
  [[nodiscard]] std::optional<std::uint32_t> derniere() const { return derniere_; }

 private:
  std::int64_t recus_ = 0;
  std::int64_t perdus_ = 0;
  std::int64_t horsOrdre_ = 0;
  std::optional<std::uint32_t> derniere_;
};

}  // namespace ravlo
