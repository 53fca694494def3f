// SPDX-License-Identifier: MPL-2.0
#include "protocol/crypto/hasard_systeme.hpp"

#include <sodium.h>

#include "protocol/crypto/sodium.hpp"

namespace ravlo {

Octets HasardSysteme::octetsAleatoires(std::size_t nombre) {
  assurerSodium();
  Octets octets(nombre);
  if (nombre > 0) randombytes_buf(octets.data(), nombre);
  return octets;
}

void HasardSysteme::remplir(std::span<std::uint8_t> dans) {
  assurerSodium();
  if (!dans.empty()) randombytes_buf(dans.data(), dans.size());
}

}  // namespace ravlo
