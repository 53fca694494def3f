// SPDX-License-Identifier: MPL-2.0
#include "protocol/scellement/ouvreur.hpp"

#include <sodium.h>

#include "protocol/base/lecteur_octets.hpp"
#include "protocol/crypto/sodium.hpp"

namespace ravlo {

Ouvreur::Ouvreur(const Cle& cle) : cle_(cle) {
  assurerSodium();
}

Ouvreur::~Ouvreur() {
  sodium_memzero(cle_.data(), cle_.size());
}

std::optional<Ouvert> Ouvreur::ouvrir(VueOctets datagramme) {
  constexpr std::size_t minimum = Enveloppe::tailleEnTete + Enveloppe::tailleEtiquette;
  const std::optional<SorteEnveloppe> sorte = Enveloppe::sorteLue(datagramme);
  if (!sorte) return std::nullopt;
  const auto k = lirePetitBoutiste<std::uint64_t>(datagramme.data() + 4);

  {
    Garde garde(verrou_);
    if (!fenetre_.admet(k)) return std::nullopt;
  }

  const std::size_t longueur = datagramme.size() - minimum;
  const std::uint8_t* chiffre = datagramme.data() + Enveloppe::tailleEnTete;
  const Enveloppe::Nonce nonce = Enveloppe::nonce(k);
  Octets contenu(longueur);
  if (crypto_aead_chacha20poly1305_ietf_decrypt_detached(
          contenu.data(), nullptr, chiffre, longueur, chiffre + longueur, datagramme.data(),
          Enveloppe::tailleEnTete, nonce.data(), cle_.data()) != 0) {
    return std::nullopt;
  }

  bool plusRecent = false;
  {
    Garde garde(verrou_);
    if (!fenetre_.admet(k)) return std::nullopt;
    plusRecent = fenetre_.enregistrer(k);
  }
  return Ouvert{*sorte, std::move(contenu), plusRecent};
}

}  // namespace ravlo
