// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ravlo {

/// Adresse IP littérale (v4 ou v6) et port d'un récepteur. Un point trouvé par la recherche
/// de services nomme aussi l'instance annoncée et l'interface où elle a été vue ; un point
/// tapé à la main n'a ni l'un ni l'autre.
struct PointReseau {
  std::string adresse;
  std::uint16_t port = 0;
  std::optional<std::string> nomService = {};
  std::optional<int> interface = {};  ///< numéro d'interface du système
  bool operator==(const PointReseau&) const = default;
};

}  // namespace ravlo
