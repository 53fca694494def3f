// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

/// Un hôte et son port tels que les lit l'utilisateur, et qu'il peut les retaper :
/// « 192.168.1.20:47311 », une adresse IPv6 entre crochets, « [::1]:47311 » ou
/// « [::ffff:192.168.1.20]:47311 ». Tout point montré passe par ici.
[[nodiscard]] inline std::string enTexte(std::string_view hote, std::uint16_t port) {
  const bool v6 = hote.find(':') != std::string_view::npos;
  std::string t;
  t.reserve(hote.size() + 8);
  if (v6) t += '[';
  t += hote;
  if (v6) t += ']';
  return t + ':' + std::to_string(port);
}

[[nodiscard]] inline std::string enTexte(const PointReseau& point) {
  return enTexte(point.adresse, point.port);
}

}  // namespace ravlo
