// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>

#include "protocol/base/octets.hpp"
#include "protocol/crypto/secret.hpp"
#include "protocol/crypto/source_de_hasard.hpp"

namespace ravlo {

/// Clé privée X25519 d'une tentative d'appairage, faite de 32 octets tirés au hasard pris
/// tels quels (la multiplication les borne elle-même comme X25519 l'exige). Garde sa clé
/// publique brute, celle qui part sur le fil. Effacée à la destruction.
class ClePriveeX25519 {
 public:
  static constexpr std::size_t taille = 32;

  /// `brut` fait exactement 32 octets ; autre chose est une faute de l'appelant.
  explicit ClePriveeX25519(VueOctets brut);
  /// 32 octets tirés de `hasard` directement dans la mémoire effacée de la clé.
  [[nodiscard]] static ClePriveeX25519 tirer(SourceDeHasard& hasard);

  [[nodiscard]] const Octets& publique() const { return publique_; }

  /// X25519 brut avec la clé publique d'un pair de 32 octets ; rien quand le résultat est
  /// nul, ce qui arrive pour un point d'ordre faible.
  [[nodiscard]] std::optional<Secret<32>> accord(VueOctets pair) const;

 private:
  explicit ClePriveeX25519(const Secret<taille>& brut);

  Secret<taille> brut_;
  Octets publique_;
};

}  // namespace ravlo
