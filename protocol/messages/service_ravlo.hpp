// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ravlo {

/// Ce qui distingue un récepteur d'un autre pour l'ordinateur qui s'en souvient : 16 octets
/// tirés une fois, sans lien avec son nom ni avec une clé, annoncés dans son TXT.
using IdentifiantRecepteur = std::array<std::uint8_t, 16>;

/// Le service DNS-SD sous lequel les récepteurs s'annoncent sur le réseau local, et les clés
/// de leur TXT. Exemple de TXT : `id=00112233445566778899aabbccddeeff`, `reprise=1`.
struct ServiceRavlo {
  static constexpr std::string_view typeService = "_ravlo._udp";
  /// `id=` + l'identifiant en 32 chiffres hexadécimaux minuscules.
  static constexpr std::string_view cleIdentifiant = "id";
  /// `reprise=1` : le récepteur reprend un appairage mémorisé sans code.
  static constexpr std::string_view cleReprise = "reprise";

  /// 32 chiffres hexadécimaux minuscules.
  [[nodiscard]] static std::string enHexadecimal(const IdentifiantRecepteur& id);
  /// L'inverse, qui n'admet que 32 chiffres minuscules.
  [[nodiscard]] static std::optional<IdentifiantRecepteur> depuisHexadecimal(
      std::string_view texte);

  ServiceRavlo() = delete;
};

}  // namespace ravlo
