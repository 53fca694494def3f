// SPDX-License-Identifier: MPL-2.0
#include "faux/hasard_deterministe.hpp"

#include <sodium.h>

#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/crypto/sodium.hpp"

namespace ravlo {

static_assert(crypto_stream_chacha20_KEYBYTES == 32);

HasardDeterministe::HasardDeterministe(std::uint64_t graine) {
  assurerSodium();
  ecrirePetitBoutiste(cle_.data(), graine);
}

Octets HasardDeterministe::octetsAleatoires(std::size_t nombre) {
  static constexpr std::array<std::uint8_t, 64> zeros{};
  static constexpr std::array<std::uint8_t, crypto_stream_chacha20_NONCEBYTES> nonce{};
  Octets sortie(nombre);
  for (std::uint8_t& octet : sortie) {
    const std::size_t dansLeBloc = position_ % bloc_.size();
    if (dansLeBloc == 0) {
      crypto_stream_chacha20_xor_ic(bloc_.data(), zeros.data(), zeros.size(), nonce.data(),
                                    position_ / bloc_.size(), cle_.data());
    }
    octet = bloc_[dansLeBloc];
    ++position_;
  }
  return sortie;
}

}  // namespace ravlo
