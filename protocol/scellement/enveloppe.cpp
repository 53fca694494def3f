// SPDX-License-Identifier: MPL-2.0
#include "protocol/scellement/enveloppe.hpp"

#include <algorithm>

#include "protocol/base/ecrivain_octets.hpp"

namespace ravlo {

Enveloppe::EnTete Enveloppe::entete(SorteEnveloppe sorte, std::uint64_t compteur) {
  EnTete e{signature[0], signature[1], version, static_cast<std::uint8_t>(sorte)};
  ecrirePetitBoutiste(e.data() + 4, compteur);
  return e;
}

Enveloppe::Nonce Enveloppe::nonce(std::uint64_t compteur) {
  Nonce n{};
  ecrirePetitBoutiste(n.data() + 4, compteur);
  return n;
}

std::optional<SorteEnveloppe> Enveloppe::sorteDe(std::uint8_t octet) {
  if (octet > static_cast<std::uint8_t>(SorteEnveloppe::fin)) return std::nullopt;
  return static_cast<SorteEnveloppe>(octet);
}

std::optional<SorteEnveloppe> Enveloppe::sorteLue(VueOctets datagramme) {
  if (datagramme.size() < tailleEnTete + tailleEtiquette) return std::nullopt;
  if (!std::equal(signature.begin(), signature.end(), datagramme.begin())) return std::nullopt;
  if (datagramme[2] != version) return std::nullopt;
  return sorteDe(datagramme[3]);
}

}  // namespace ravlo
