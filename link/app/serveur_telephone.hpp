// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/app/ecoute_telephone.hpp"

namespace ravlo {

/// Ouvre le serveur web qui sert la page de réception embarquée dans le programme, sur toutes
/// les adresses de la machine.
[[nodiscard]] EcouteTelephone::Ouvrir ouvrirServeurTelephone();

/// Les adresses de la page sur ce port : le nom en « .local » quand Avahi tourne, puis celles
/// du réseau local.
[[nodiscard]] std::vector<std::string> adressesTelephone(std::uint16_t port);

}  // namespace ravlo
