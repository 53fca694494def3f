// SPDX-License-Identifier: MPL-2.0
#include "protocol/appairage/passkey.hpp"

#include <sodium.h>

#include <algorithm>
#include <array>

#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/crypto/hkdf_sha256.hpp"
#include "protocol/crypto/sodium.hpp"

namespace ravlo {
namespace {

constexpr std::string_view etiquetteCles = "Ravlo v2";
constexpr std::string_view etiquetteConfirmation = "Ravlo confirme";

VueOctets vue(std::string_view texte) {
  return {reinterpret_cast<const std::uint8_t*>(texte.data()), texte.size()};
}

Empreinte selDesNonces(std::span<const Octets> noncesA, std::span<const Octets> noncesB) {
  assurerSodium();
  crypto_hash_sha256_state etat;
  crypto_hash_sha256_init(&etat);
  for (auto liste : {noncesA, noncesB}) {
    for (const Octets& nonce : liste) {
      if (!nonce.empty()) crypto_hash_sha256_update(&etat, nonce.data(), nonce.size());
    }
  }
  Empreinte sel{};
  crypto_hash_sha256_final(&etat, sel.data());
  return sel;
}

}  // namespace

std::optional<SecretPartage> secretPartage(const ClePriveeX25519& prive, VueOctets cle) {
  if (cle.size() != ClePriveeX25519::taille) return std::nullopt;
  // X25519 ignore le bit 255 : notre clé renvoyée avec ce bit levé reste notre clé.
  const Octets& propre = prive.publique();
  if (std::equal(cle.begin(), cle.end() - 1, propre.begin()) &&
      (cle.back() & 0x7f) == (propre.back() & 0x7f)) {
    return std::nullopt;
  }
  return prive.accord(cle);
}

Empreinte valeurEngagement(std::uint8_t role, VueOctets cleA, VueOctets cleB, bool bit,
                           VueOctets nonce) {
  const std::uint8_t prefixe[1] = {role};
  const std::uint8_t suffixe[1] = {static_cast<std::uint8_t>(0x80 | (bit ? 1 : 0))};
  return hmacSha256(nonce, {prefixe, cleA, cleB, suffixe});
}

ClesDerivees deriverCles(const SecretPartage& secret, std::span<const Octets> noncesA,
                         std::span<const Octets> noncesB, VueOctets cleA, VueOctets cleB,
                         std::uint64_t tentative, std::string_view nom) {
  const Empreinte sel = selDesNonces(noncesA, noncesB);
  EcrivainOctets info(etiquetteCles.size() + cleA.size() + cleB.size() + 8 + nom.size());
  info.ecrire(vue(etiquetteCles)).ecrire(cleA).ecrire(cleB).ecrire(tentative).ecrire(vue(nom));

  std::array<std::uint8_t, 96> sortie{};
  hkdfSha256(secret.octets(), sel, std::move(info).terminer(), sortie);
  ClesDerivees cles{Secret<32>(std::span(sortie).first<32>()),
                    Secret<32>(std::span(sortie).subspan<32, 32>()),
                    Secret<32>(std::span(sortie).subspan<64, 32>())};
  sodium_memzero(sortie.data(), sortie.size());
  return cles;
}

Empreinte valeurConfirmation(std::uint8_t role, std::uint64_t tentative, const Secret<32>& k2) {
  std::array<std::uint8_t, 9> suite{role};
  ecrirePetitBoutiste(suite.data() + 1, tentative);
  return hmacSha256(k2.octets(), {vue(etiquetteConfirmation), suite});
}

}  // namespace ravlo
