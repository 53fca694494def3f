// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include "protocol/base/octets.hpp"

namespace ravlo {

/// Sortie de HMAC-SHA-256 ou de SHA-256.
using Empreinte = std::array<std::uint8_t, 32>;

/// HMAC-SHA-256 (RFC 2104) sous une clé de longueur quelconque, sur la concaténation des
/// morceaux : évite de recopier un message fait de plusieurs champs.
[[nodiscard]] Empreinte hmacSha256(VueOctets cle, std::initializer_list<VueOctets> morceaux);

/// Compare un MAC reçu à celui attendu en temps constant ; des longueurs différentes ne
/// concordent jamais.
[[nodiscard]] bool macConcorde(VueOctets attendu, VueOctets recu);

}  // namespace ravlo
