// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/base/octets.hpp"

namespace ravlo {

enum class ErreurCatalogue : std::uint8_t {
  tropCourt,          ///< moins que l'en-tête de 28 octets
  magieInconnue,      ///< ni 0x950412de ni son inverse
  revisionInconnue,   ///< révision majeure au-delà de 1
  tableHorsLimites,   ///< une table d'entrées dépasse le fichier
  chaineHorsLimites,  ///< une chaîne dépasse le fichier
  tropDeTexte         ///< les chaînes à copier dépassent la taille du fichier
};

/// Catalogue de traductions compilé par msgfmt (fichier .mo de GNU gettext), lu depuis ses
/// octets.
///
///   0       4          8     12    16    20        24        28
///   +-------+----------+-----+-----+-----+---------+---------+
///   | magie | révision |  N  |  O  |  T  | hachage | hachage |
///   +-------+----------+-----+-----+-----+---------+---------+
///   O : N fois (longueur, position) des clés ; T : de même pour les traductions.
///
/// Entiers sur 32 bits dans l'ordre que dit la magie. Une entrée à pluriel est rangée sous
/// sa forme au singulier, avec sa première traduction ; l'en-tête (clé vide) et les
/// traductions vides sont écartés. La table de hachage n'est pas lue. Des entrées qui se
/// chevauchent ne font pas copier plus que la taille du fichier : 64 Ko forgés ne coûtent
/// pas des dizaines de mégaoctets.
class CatalogueTextes {
 public:
  static constexpr std::uint32_t magie = 0x950412de;
  static constexpr std::size_t tailleEnTete = 28;

  [[nodiscard]] static std::expected<CatalogueTextes, ErreurCatalogue> lire(VueOctets donnees);

  /// La traduction de `cle`, ou rien si le catalogue ne l'a pas.
  [[nodiscard]] std::optional<std::string_view> traduire(std::string_view cle) const;

  [[nodiscard]] std::size_t taille() const { return traductions_.size(); }

 private:
  std::map<std::string, std::string, std::less<>> traductions_;
};

}  // namespace ravlo
