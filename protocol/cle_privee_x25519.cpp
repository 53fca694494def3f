#include "protocol/cle_privee_x25519.hpp"

#include <sodium.h>

#include "protocol/exiger.hpp"
#include "protocol/sodium.hpp"

namespace ravlo {

static_assert(crypto_scalarmult_curve25519_BYTES == ClePriveeX25519::taille);
static_assert(crypto_scalarmult_curve25519_SCALARBYTES == ClePriveeX25519::taille);

ClePriveeX25519::ClePriveeX25519(VueOctets brut) : publique_(taille) {
  RAVLO_EXIGER(brut.size() == taille);
  assurerSodium();
  brut_ = Secret<taille>(brut.first<taille>());
  RAVLO_EXIGER(crypto_scalarmult_curve25519_base(publique_.data(), brut_.octets().data()) == 0);
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
