// SPDX-License-Identifier: MPL-2.0
#include "protocol/crypto/hkdf_sha256.hpp"

#include <sodium.h>

#include <algorithm>

#include "protocol/base/exiger.hpp"

namespace ravlo {

Secret<32> hkdfExtraire(VueOctets sel, VueOctets ikm) {
  Empreinte prk = hmacSha256(sel, {ikm});
  Secret<32> resultat(prk);
  sodium_memzero(prk.data(), prk.size());
  return resultat;
}

void hkdfEtendre(const Secret<32>& prk, VueOctets info, std::span<std::uint8_t> sortie) {
  RAVLO_EXIGER(sortie.size() <= 255 * sizeof(Empreinte));
  Empreinte t{};
  std::size_t tLongueur = 0;  // T(0) est vide
  std::size_t ecrit = 0;
  for (std::uint8_t i = 1; ecrit < sortie.size(); ++i) {
    const std::uint8_t compteur[1] = {i};
    t = hmacSha256(prk.octets(), {VueOctets(t.data(), tLongueur), info, compteur});
    tLongueur = t.size();
    const std::size_t n = std::min(t.size(), sortie.size() - ecrit);
    std::copy_n(t.begin(), n, sortie.begin() + static_cast<std::ptrdiff_t>(ecrit));
    ecrit += n;
  }
  sodium_memzero(t.data(), t.size());
}

void hkdfSha256(VueOctets ikm, VueOctets sel, VueOctets info, std::span<std::uint8_t> sortie) {
  hkdfEtendre(hkdfExtraire(sel, ikm), info, sortie);
}

}  // namespace ravlo
