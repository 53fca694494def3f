// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/base/verrou.hpp"

namespace ravlo {

/// Passage entre les voies flottantes de la capture et les trames stéréo 16 bits entrelacées
/// (gauche puis droite) de l'anneau, des paquets et du rendu. Sans état, sans allocation.
struct ConversionPCM {
  /// Un échantillon flottant en 16 bits : non fini → 0 ; ≤ −1 → −32767 ; sinon
  /// min(x, 1) × 32767 tronqué vers zéro (calcul en flottant 32 bits). La pleine échelle
  /// donne ±32767 et −32768 n'est jamais produit. Exemple : 0,5 → 16383.
  [[nodiscard]] static std::int16_t versEntier(float x);

  /// Lit `trames` trames dans deux voies où l'échantillon i est à l'indice i × `pas`
  /// (`pas` 2 avec `droite` un cran après `gauche` lit un flux flottant entrelacé ; `pas` 1
  /// lit deux voies séparées) et écrit des trames entrelacées dans `vers`. Écrit au plus
  /// `vers.size()` ÷ 2 trames, et jamais plus que les voies n'en contiennent ; rend le nombre
  /// de trames écrites. Traite huit trames à la fois dans les deux cas courants, avec
  /// exactement les résultats de `versEntier`.
  static std::size_t entrelacer(std::span<const float> gauche, std::span<const float> droite,
                                std::size_t pas, std::size_t trames, std::span<std::int16_t> vers);

  /// Lit `trames` trames entrelacées (bornées par ce que `source`, `gauche` et `droite`
  /// contiennent) et écrit échantillon ÷ 32767 dans chaque voie. Huit trames à la fois
  /// quand les mémoires ne se chevauchent pas, avec les résultats de la boucle simple.
  static std::size_t desentrelacer(std::span<const std::int16_t> source, std::size_t trames,
                                   std::span<float> gauche, std::span<float> droite);

  ConversionPCM() = delete;
};

}  // namespace ravlo
