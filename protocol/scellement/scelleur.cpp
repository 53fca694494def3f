// SPDX-License-Identifier: MPL-2.0
#include "protocol/scellement/scelleur.hpp"

#include <sodium.h>

#include <algorithm>

#include "protocol/crypto/sodium.hpp"

namespace ravlo {

static_assert(crypto_aead_chacha20poly1305_ietf_KEYBYTES == sizeof(Cle));
static_assert(crypto_aead_chacha20poly1305_ietf_NPUBBYTES == sizeof(Enveloppe::Nonce));
static_assert(crypto_aead_chacha20poly1305_ietf_ABYTES == Enveloppe::tailleEtiquette);

Scelleur::Scelleur(const Cle& cle) : Scelleur(cle, 0) {}

Scelleur::Scelleur(const Cle& cle, std::uint64_t prochain) : cle_(cle), prochain_(prochain) {
  assurerSodium();
}

Scelleur::~Scelleur() {
  sodium_memzero(cle_.data(), cle_.size());
}

std::optional<std::uint64_t> Scelleur::prendreCompteur() {
  Garde garde(verrou_);
  if (!prochain_) return std::nullopt;
  const std::uint64_t k = *prochain_;
  if (k == UINT64_MAX) {
    prochain_.reset();
  } else {
    prochain_ = k + 1;
  }
  return k;
}

std::expected<Octets, ErreurEnveloppe> Scelleur::sceller(VueOctets contenu, SorteEnveloppe sorte) {
  if (contenu.size() > crypto_aead_chacha20poly1305_ietf_MESSAGEBYTES_MAX) {
    // Un contenu trop long consomme son numéro, comme il l'a toujours fait.
    if (!prendreCompteur()) return std::unexpected(ErreurEnveloppe::compteurEpuise);
    return std::unexpected(ErreurEnveloppe::echecChiffrement);
  }
  Octets sortie(Enveloppe::tailleEnTete + contenu.size() + Enveloppe::tailleEtiquette);
  const auto taille = scellerDans(contenu, sorte, sortie);
  if (!taille) return std::unexpected(taille.error());
  return sortie;
}

std::expected<std::size_t, ErreurEnveloppe> Scelleur::scellerDans(VueOctets contenu,
                                                                  SorteEnveloppe sorte,
                                                                  std::span<std::uint8_t> dans) {
  const std::size_t taille = Enveloppe::tailleEnTete + contenu.size() + Enveloppe::tailleEtiquette;
  if (contenu.size() > crypto_aead_chacha20poly1305_ietf_MESSAGEBYTES_MAX || dans.size() < taille) {
    return std::unexpected(ErreurEnveloppe::echecChiffrement);
  }
  const std::optional<std::uint64_t> k = prendreCompteur();
  if (!k) return std::unexpected(ErreurEnveloppe::compteurEpuise);

  const Enveloppe::EnTete entete = Enveloppe::entete(sorte, *k);
  const Enveloppe::Nonce nonce = Enveloppe::nonce(*k);
  std::copy(entete.begin(), entete.end(), dans.begin());
  unsigned long long longueur = 0;
  // Le chiffré et l'étiquette s'écrivent à la suite de l'en-tête, sans copie intermédiaire.
  if (crypto_aead_chacha20poly1305_ietf_encrypt(
          dans.data() + Enveloppe::tailleEnTete, &longueur, contenu.data(), contenu.size(),
          entete.data(), entete.size(), nullptr, nonce.data(), cle_.data()) != 0) {
    return std::unexpected(ErreurEnveloppe::echecChiffrement);
  }
  return taille;
}

}  // namespace ravlo
