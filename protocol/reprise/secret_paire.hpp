// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>

#include "protocol/crypto/secret.hpp"

namespace ravlo {

/// Nomme une paire appairée dans l'ouverture d'une reprise : 16 octets sans lien avec un
/// nom ni avec la clé de la paire, les mêmes à chaque reprise.
using IdentifiantPaire = std::array<std::uint8_t, 16>;

/// Ce que chaque bout garde d'un appairage au code réussi pour le reprendre sans code : la
/// clé pré-partagée de la poignée Noise et l'identifiant sous lequel la retrouver.
struct SecretPaire {
  IdentifiantPaire identifiant{};
  Secret<32> psk;
  bool operator==(const SecretPaire&) const = default;
};

/// HKDF-SHA-256(ikm = K2 de l'appairage, sel vide, info = "Ravlo paire v1"), 48 octets :
/// PSK (32) ‖ identifiant (16). K2 n'a servi qu'aux deux confirmations (des HMAC sous K2) :
/// ni les clés de la liaison (K0, K1) ni ce qui est passé sur le fil ne la livrent.
[[nodiscard]] SecretPaire deriverSecretPaire(const Secret<32>& k2);

}  // namespace ravlo
