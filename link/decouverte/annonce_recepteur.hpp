// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/messages/service_ravlo.hpp"

namespace ravlo {

/// Ce qu'un récepteur dit de lui dans son enregistrement TXT.
struct AnnonceRecepteur {
  std::optional<IdentifiantRecepteur> identifiant;  ///< `id=` suivi de 32 chiffres hexa minuscules
  bool connaitReprise = false;  ///< `reprise=1` : il reprend un appairage mémorisé
  bool operator==(const AnnonceRecepteur&) const = default;
};

/// Lit les chaînes « clé=valeur » du TXT ; une valeur mal formée compte comme absente.
[[nodiscard]] AnnonceRecepteur lireAnnonce(std::span<const std::string> txt);

/// Des octets en hexadécimal minuscule, et retour ; le retour refuse toute autre longueur,
/// et les majuscules (une seule écriture par valeur).
[[nodiscard]] std::string enHexa(std::span<const std::uint8_t> octets);
template <std::size_t N>
[[nodiscard]] std::optional<std::array<std::uint8_t, N>> depuisHexa(std::string_view texte);

}  // namespace ravlo
