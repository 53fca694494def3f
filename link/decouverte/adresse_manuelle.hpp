// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "plateforme/resolution_noms.hpp"

namespace ravlo {

/// Ce qui rend inutilisable une adresse de récepteur tapée à la main.
enum class ErreurAdresse : std::uint8_t {
  hoteVide,
  hoteInvalide,  ///< espace, caractère de contrôle, crochets mal fermés
  portInvalide,  ///< pas un nombre de 1 à 65535
  hoteInconnu    ///< le résolveur du système ne le connaît pas
};

/// La phrase montrée à l'utilisateur, traduite pour `locale`.
[[nodiscard]] std::string texte(ErreurAdresse erreur, std::string_view locale);

/// Un récepteur nommé par son adresse, quand la recherche de services ne le voit pas (mDNS
/// bloqué : Wi-Fi d'invités, isolement des clients, VLAN, pas d'avahi-daemon).
struct AdresseManuelle {
  std::string hote;  ///< nom ou adresse littérale, sans les crochets d'une IPv6
  std::uint16_t port = 0;

  /// IPv6 quand l'hôte contient « : », IPv4 sinon (un nom se résout en IPv4).
  [[nodiscard]] FamilleAdresses famille() const;
  /// « hote:port », « [::1]:port » pour une IPv6.
  [[nodiscard]] std::string nom() const;
  bool operator==(const AdresseManuelle&) const = default;
};

/// L'hôte et le port tels que tapés, espaces du bord ôtés. « 192.168.1.20 », « 41234 » ;
/// « [fe80::1] » ou « fe80::1 » ; « salon.local ». Le port : des chiffres seulement, de 1 à
/// 65535.
[[nodiscard]] std::expected<AdresseManuelle, ErreurAdresse> lireAdresseManuelle(
    std::string_view hote, std::string_view port);

}  // namespace ravlo
