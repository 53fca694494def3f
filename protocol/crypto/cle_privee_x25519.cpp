// SPDX-License-Identifier: MPL-2.0
#include "protocol/crypto/cle_privee_x25519.hpp"

#include <sodium.h>

#include "protocol/base/exiger.hpp"
#include "protocol/crypto/sodium.hpp"

namespace ravlo {

static_assert(crypto_scalarmult_curve25519_BYTES == ClePriveeX25519::taille);
static_assert(crypto_scalarmult_curve25519_SCALARBYTES == ClePriveeX25519::taille);

namespace {

Secret<ClePriveeX25519::taille> secretDe(VueOctets brut) {
  RAVLO_EXIGER(brut.size() == ClePriveeX25519::taille);
  return Secret<ClePriveeX25519::taille>(brut.first<ClePriveeX25519::taille>());
}

}  // namespace

ClePriveeX25519::ClePriveeX25519(VueOctets brut) : ClePriveeX25519(secretDe(brut)) {}

ClePriveeX25519::ClePriveeX25519(const Secret<taille>& brut) : brut_(brut), publique_(taille) {
  assurerSodium();
  RAVLO_EXIGER(crypto_scalarmult_curve25519_base(publique_.data(), brut_.octets().data()) == 0);
}

ClePriveeX25519 ClePriveeX25519::tirer(SourceDeHasard& hasard) {
  Secret<taille> brut;
  hasard.remplir(brut.octets());
  return ClePriveeX25519(brut);
}

std::optional<Secret<32>> ClePriveeX25519::accord(VueOctets pair) const {
  RAVLO_EXIGER(pair.size() == taille);
  Secret<32> secret;
  // libsodium refuse (−1) un résultat tout à zéro : point d'ordre faible.
  if (crypto_scalarmult_curve25519(secret.octets().data(), brut_.octets().data(), pair.data()) !=
      0) {
    return std::nullopt;
  }
  return secret;
}

}  // namespace ravlo
