// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ravlo {

/// Chaîne d'octets contiguë et extensible : l'unité de tous les formats sur le fil.
using Octets = std::vector<std::uint8_t>;

/// Vue en lecture seule sur des octets reçus ou à envoyer.
using VueOctets = std::span<const std::uint8_t>;

}  // namespace ravlo
