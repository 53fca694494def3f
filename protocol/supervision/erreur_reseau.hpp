// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>

namespace ravlo {

/// D'où vient le code d'une erreur réseau.
enum class DomaineErreurReseau : std::uint8_t {
  posix,  ///< un numéro errno
  dnssd,  ///< un code de la découverte de services (négatif)
  autre   ///< tout autre statut du système
};

/// Erreur rapportée par une connexion datagramme ou par la recherche de services.
struct ErreurReseau {
  /// Codes DNS-SD du refus d'accès au réseau local ; une plateforme qui en a d'autres les
  /// traduit vers ceux-ci.
  static constexpr std::int64_t dnssdNonAutorise = -65555;
  static constexpr std::int64_t dnssdRefusParPolitique = -65570;
  /// Code DNS-SD du service de découverte qui ne tourne pas (le démon mDNS du système).
  static constexpr std::int64_t dnssdServiceAbsent = -65563;

  DomaineErreurReseau domaine = DomaineErreurReseau::autre;
  std::int64_t code = 0;

  bool operator==(const ErreurReseau&) const = default;
};

}  // namespace ravlo
