// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "plateforme/magasin_reglages.hpp"

namespace ravlo {

/// Les codes grillés des dernières 24 heures, gardés dans les réglages pour qu'un relancement
/// ne permette pas de retaper un code dont on a déjà dévoilé des bits à qui a répondu.
///
/// Jamais en clair : chaque code y est un condensé BLAKE2b de 32 octets, salé d'un sel
/// aléatoire de 16 octets propre à l'entrée, suivi de sa date (secondes de l'horloge murale,
/// petit-boutiste). Cela tient à l'écart la lecture en passant, pas une recherche exhaustive :
/// il n'y a que 10 000 codes. Une entrée datée de plus de 24 h (dans un sens ou dans l'autre :
/// l'horloge murale peut reculer) est oubliée ; au-delà de `entreesMax`, les plus anciennes
/// partent. Une valeur abîmée compte comme vide. Fil principal seulement.
class RegistreCodesGrilles {
 public:
  static constexpr std::string_view cle = "RavloCodesGrilles";
  static constexpr std::int64_t dureeS = 24 * 3600;
  static constexpr std::size_t entreesMax = 512;

  /// `secondesMurales` vide : l'horloge murale du système.
  RegistreCodesGrilles(std::shared_ptr<MagasinReglages> reglages,
                       std::function<std::int64_t()> secondesMurales);

  [[nodiscard]] bool contient(std::string_view chiffres) const;
  void ajouter(std::string_view chiffres);

 private:
  std::shared_ptr<MagasinReglages> reglages_;
  std::function<std::int64_t()> secondes_;
};

}  // namespace ravlo
