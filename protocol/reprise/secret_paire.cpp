// SPDX-License-Identifier: MPL-2.0
#include "protocol/reprise/secret_paire.hpp"

#include <algorithm>
#include <string_view>

#include "protocol/crypto/hkdf_sha256.hpp"

namespace ravlo {

SecretPaire deriverSecretPaire(const Secret<32>& k2) {
  constexpr std::string_view info = "Ravlo paire v1";
  Secret<48> sortie;
  hkdfSha256(k2.octets(), {},
             VueOctets(reinterpret_cast<const std::uint8_t*>(info.data()), info.size()),
             sortie.octets());
  SecretPaire paire;
  std::copy_n(sortie.octets().begin(), 32, paire.psk.octets().begin());
  std::copy_n(sortie.octets().begin() + 32, paire.identifiant.size(), paire.identifiant.begin());
  return paire;
}

}  // namespace ravlo
