// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ravlo {

/// Une adresse d'une interface de la machine, telle que le système la donne.
struct AdresseInterface {
  std::string adresse;  ///< littérale : « 192.168.1.20 », « fd00::1 »
  bool active = false;  ///< interface en service
  bool boucle = false;  ///< interface de boucle locale
};

/// Les adresses où un téléphone du réseau local ouvre la page servie sur `port` :
/// « http://salon.local:8080/ » d'abord quand `nomLocal` est donné, puis les adresses IPv4,
/// puis les IPv6 entre crochets, chacune une fois, dans l'ordre des interfaces. Ni boucle
/// locale, ni lien local (169.254/16, fe80::/10 : une adresse sans sa zone ne se tape pas
/// dans un navigateur), ni interface arrêtée, ni adresse illisible. Le port 80 ne s'écrit pas.
[[nodiscard]] std::vector<std::string> adressesPage(std::uint16_t port,
                                                    std::span<const AdresseInterface> interfaces,
                                                    const std::optional<std::string>& nomLocal);

/// Les mêmes, pour les interfaces de cette machine (getifaddrs) et son nom chez Avahi.
[[nodiscard]] std::vector<std::string> adressesPage(std::uint16_t port);

/// L'adresse à mettre dans un code QR : la première qui ne dépend pas d'un nom en `.local`,
/// que bien des téléphones ne résolvent pas ; à défaut la première. Vide sans adresse.
[[nodiscard]] std::string adressePourQr(const std::vector<std::string>& adresses);

}  // namespace ravlo
