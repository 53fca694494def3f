// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace ravlo {

enum class FamilleAdresses : std::uint8_t { ipv4, ipv6 };

/// Les adresses de `hote` (nom ou adresse littérale) dans `famille`, écrites en littéraux
/// ("127.0.0.1", "::1") dans l'ordre du résolveur du système. Un nom que le résolveur ne
/// connaît pas rend son texte d'erreur.
[[nodiscard]] std::expected<std::vector<std::string>, std::string> resoudreNom(
    std::string_view hote, FamilleAdresses famille);

}  // namespace ravlo
