// SPDX-License-Identifier: MPL-2.0
#include "protocol/reprise/poignee_noise.hpp"

#include <sodium.h>

#include <algorithm>
#include <memory>

#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/crypto/hkdf_sha256.hpp"

namespace ravlo {
namespace {

VueOctets octetsDe(std::string_view texte) {
  return {reinterpret_cast<const std::uint8_t*>(texte.data()), texte.size()};
}

/// HKDF(ck, ikm, nombre) de Noise : HMAC-SHA-256 en extraction sous ck, puis expansion sans
/// info, ce qu'est le HKDF de la RFC 5869 avec sel = ck.
template <std::size_t N>
Secret<N> hkdfNoise(const Secret<32>& ck, VueOctets ikm) {
  Secret<N> sortie;
  hkdfSha256(ikm, ck.octets(), {}, sortie.octets());
  return sortie;
}

Secret<32> moitie(const Secret<64>& s, std::size_t rang) {
  return Secret<32>(std::span<const std::uint8_t, 32>(s.octets().data() + 32 * rang, 32));
}

}  // namespace

Octets prologueReprise(std::uint64_t tentative, const IdentifiantPaire& identifiant) {
  EcrivainOctets sortie(16 + 8 + identifiant.size());
  sortie.ecrire(octetsDe("Ravlo reprise v1")).ecrire(tentative).ecrire(VueOctets(identifiant));
  return std::move(sortie).terminer();
}

EtatNoise::EtatNoise(VueOctets prologue) {
  // Le nom dépasse 32 octets : h = SHA-256(nom).
  crypto_hash_sha256(h_.data(), reinterpret_cast<const unsigned char*>(nomProtocoleNoise.data()),
                     nomProtocoleNoise.size());
  ck_ = Secret<32>(h_);
  melangerHachage(prologue);
}

void EtatNoise::melangerHachage(VueOctets donnees) {
  crypto_hash_sha256_state etat;
  crypto_hash_sha256_init(&etat);
  crypto_hash_sha256_update(&etat, h_.data(), h_.size());
  crypto_hash_sha256_update(&etat, donnees.data(), donnees.size());
  crypto_hash_sha256_final(&etat, h_.data());
}

void EtatNoise::melangerCle(VueOctets matiere) {
  const Secret<64> sortie = hkdfNoise<64>(ck_, matiere);
  ck_ = moitie(sortie, 0);
  k_ = moitie(sortie, 1);
  n_ = 0;
}

void EtatNoise::melangerCleEtHachage(VueOctets matiere) {
  const Secret<96> sortie = hkdfNoise<96>(ck_, matiere);
  const auto morceau = [&](std::size_t rang) {
    return std::span<const std::uint8_t, 32>(sortie.octets().data() + 32 * rang, 32);
  };
  ck_ = Secret<32>(morceau(0));
  melangerHachage(morceau(1));
  k_ = Secret<32>(morceau(2));
  n_ = 0;
}

MessageReprise::Tag EtatNoise::chiffrerVide() {
  const MessageReprise::Tag tag = etiquetteVide(k_, n_++, h_);
  melangerHachage(tag);
  return tag;
}

bool EtatNoise::dechiffrerVide(const MessageReprise::Tag& tag) {
  const Enveloppe::Nonce nonce = Enveloppe::nonce(n_);
  std::uint8_t vide[1] = {};  // libsodium veut un chiffré non nul, même de longueur 0
  if (crypto_aead_chacha20poly1305_ietf_decrypt_detached(nullptr, nullptr, vide, 0, tag.data(),
                                                         h_.data(), h_.size(), nonce.data(),
                                                         k_.octets().data()) != 0)
    return false;
  ++n_;
  melangerHachage(tag);
  return true;
}

EtatNoise::ClesTransport EtatNoise::scinder() const {
  const Secret<64> sortie = hkdfNoise<64>(ck_, {});
  return {moitie(sortie, 0), moitie(sortie, 1)};
}

MessageReprise::Tag etiquetteVide(const Secret<32>& k, std::uint64_t n, VueOctets ad) {
  MessageReprise::Tag tag{};
  const Enveloppe::Nonce nonce = Enveloppe::nonce(n);
  std::uint8_t vide[1] = {};  // libsodium veut des tampons non nuls, même de longueur 0
  crypto_aead_chacha20poly1305_ietf_encrypt_detached(vide, tag.data(), nullptr, vide, 0, ad.data(),
                                                     ad.size(), nullptr, nonce.data(),
                                                     k.octets().data());
  return tag;
}

MessageReprise::Poignee ecrireOuverture(EtatNoise& etat, const Secret<32>& psk,
                                        const ClePriveeX25519& e) {
  etat.melangerCleEtHachage(psk.octets());
  // En mode PSK, la clé éphémère entre aussi dans la clé.
  etat.melangerHachage(e.publique());
  etat.melangerCle(e.publique());
  MessageReprise::Poignee poignee{};
  std::copy(e.publique().begin(), e.publique().end(), poignee.begin());
  const MessageReprise::Tag tag = etat.chiffrerVide();
  std::copy(tag.begin(), tag.end(), poignee.begin() + MessageReprise::tailleCle);
  return poignee;
}

std::optional<Octets> lireOuverture(EtatNoise& etat, const Secret<32>& psk,
                                    const MessageReprise::Poignee& poignee) {
  Octets re(poignee.begin(), poignee.begin() + MessageReprise::tailleCle);
  MessageReprise::Tag tag{};
  std::copy(poignee.begin() + MessageReprise::tailleCle, poignee.end(), tag.begin());
  etat.melangerCleEtHachage(psk.octets());
  etat.melangerHachage(re);
  etat.melangerCle(re);
  if (!etat.dechiffrerVide(tag)) return std::nullopt;
  return re;
}

std::optional<MessageReprise::Poignee> ecrireReponse(EtatNoise& etat, const ClePriveeX25519& e,
                                                     VueOctets re) {
  const std::optional<Secret<32>> ee = e.accord(re);
  if (!ee) return std::nullopt;
  etat.melangerHachage(e.publique());
  etat.melangerCle(e.publique());
  etat.melangerCle(ee->octets());
  MessageReprise::Poignee poignee{};
  std::copy(e.publique().begin(), e.publique().end(), poignee.begin());
  const MessageReprise::Tag tag = etat.chiffrerVide();
  std::copy(tag.begin(), tag.end(), poignee.begin() + MessageReprise::tailleCle);
  return poignee;
}

bool lireReponse(EtatNoise& etat, const ClePriveeX25519& e,
                 const MessageReprise::Poignee& poignee) {
  const VueOctets re(poignee.data(), MessageReprise::tailleCle);
  const std::optional<Secret<32>> ee = e.accord(re);
  if (!ee) return false;
  MessageReprise::Tag tag{};
  std::copy(poignee.begin() + MessageReprise::tailleCle, poignee.end(), tag.begin());
  etat.melangerHachage(re);
  etat.melangerCle(re);
  etat.melangerCle(ee->octets());
  return etat.dechiffrerVide(tag);
}

MessageReprise::Tag preuveInitiateur(const EtatNoise::ClesTransport& cles) {
  return etiquetteVide(cles.versRepondeur, 0, {});
}

Liaison liaisonInitiateur(const EtatNoise::ClesTransport& cles) {
  return {std::make_shared<Scelleur>(cles.versRepondeur.octets(), 1),
          std::make_shared<Ouvreur>(cles.versInitiateur.octets())};
}

Liaison liaisonRepondeur(const EtatNoise::ClesTransport& cles) {
  return Liaison::nouvelle(cles.versInitiateur.octets(), cles.versRepondeur.octets());
}

}  // namespace ravlo
