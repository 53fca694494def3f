// SPDX-License-Identifier: MPL-2.0
#include "protocol/crypto/hmac_sha256.hpp"

#include <sodium.h>

#include "protocol/crypto/sodium.hpp"

namespace ravlo {

static_assert(crypto_auth_hmacsha256_BYTES == sizeof(Empreinte));

namespace {

/// libsodium déclare ses pointeurs non nuls, même pour zéro octet ; une vue vide peut en
/// porter un.
const std::uint8_t* nonNul(VueOctets v) {
  static constexpr std::uint8_t rien = 0;
  return v.empty() ? &rien : v.data();
}

}  // namespace

Empreinte hmacSha256(VueOctets cle, std::initializer_list<VueOctets> morceaux) {
  assurerSodium();
  // L'interface en trois temps accepte toute longueur de clé ; l'appel direct en lirait 32.
  crypto_auth_hmacsha256_state etat;
  crypto_auth_hmacsha256_init(&etat, nonNul(cle), cle.size());
  for (VueOctets morceau : morceaux) {
    crypto_auth_hmacsha256_update(&etat, nonNul(morceau), morceau.size());
  }
  Empreinte sortie{};
  crypto_auth_hmacsha256_final(&etat, sortie.data());
  sodium_memzero(&etat, sizeof etat);
  return sortie;
}

bool macConcorde(VueOctets attendu, VueOctets recu) {
  if (attendu.size() != recu.size()) return false;
  return sodium_memcmp(attendu.data(), recu.data(), attendu.size()) == 0;
}

}  // namespace ravlo
