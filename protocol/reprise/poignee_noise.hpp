// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "protocol/crypto/cle_privee_x25519.hpp"
#include "protocol/crypto/hmac_sha256.hpp"
#include "protocol/crypto/secret.hpp"
#include "protocol/reprise/message_reprise.hpp"
#include "protocol/reprise/secret_paire.hpp"
#include "protocol/scellement/enveloppe.hpp"
#include "protocol/scellement/liaison.hpp"

namespace ravlo {

/// Briques de la reprise, partagées par ses deux automates : le motif Noise `NNpsk0`
///   → psk, e          (ouverture)
///   ← e, ee           (reponse)
/// de Noise_NNpsk0_25519_ChaChaPoly_SHA256, contenus vides, suivi d'un premier message de
/// transport de l'initiateur (preuve). SHA-256, HMAC et ChaCha20-Poly1305 IETF de libsodium ;
/// le HKDF de Noise est celui de crypto/ (sel = ck, info vide). Fonctions pures.
inline constexpr std::string_view nomProtocoleNoise = "Noise_NNpsk0_25519_ChaChaPoly_SHA256";

/// "Ravlo reprise v1" ‖ tentative (8, LE) ‖ identifiant (16) : ce que l'ouverture porte en
/// clair, lié à la poignée ; changé en route, la poignée échoue.
[[nodiscard]] Octets prologueReprise(std::uint64_t tentative, const IdentifiantPaire& identifiant);

/// L'état symétrique de Noise (ck, h, k, n), nommé comme dans le cadre Noise.
class EtatNoise {
 public:
  /// InitializeSymmetric(nomProtocoleNoise) puis MixHash(prologue).
  explicit EtatNoise(VueOctets prologue);

  void melangerHachage(VueOctets donnees);       ///< MixHash
  void melangerCle(VueOctets matiere);           ///< MixKey
  void melangerCleEtHachage(VueOctets matiere);  ///< MixKeyAndHash
  /// EncryptAndHash d'un contenu vide : l'étiquette seule.
  [[nodiscard]] MessageReprise::Tag chiffrerVide();
  /// DecryptAndHash d'un contenu vide ; faux sans rien changer si l'étiquette est fausse.
  [[nodiscard]] bool dechiffrerVide(const MessageReprise::Tag& tag);

  struct ClesTransport {
    Secret<32> versRepondeur;   ///< c1 de Split
    Secret<32> versInitiateur;  ///< c2 de Split
  };
  /// Split.
  [[nodiscard]] ClesTransport scinder() const;

 private:
  Secret<32> ck_;
  Empreinte h_{};
  Secret<32> k_;
  std::uint64_t n_ = 0;
};

/// ENCRYPT(k, n, ad, contenu vide) de Noise : l'étiquette Poly1305, nonce 0⁴ ‖ n (LE).
[[nodiscard]] MessageReprise::Tag etiquetteVide(const Secret<32>& k, std::uint64_t n, VueOctets ad);

/// Jetons de l'ouverture, côté initiateur : psk, e, puis l'étiquette.
[[nodiscard]] MessageReprise::Poignee ecrireOuverture(EtatNoise& etat, const Secret<32>& psk,
                                                      const ClePriveeX25519& e);
/// Côté répondeur : la clé éphémère du pair, ou rien quand l'étiquette ne concorde pas
/// (autre PSK, ou clair altéré).
[[nodiscard]] std::optional<Octets> lireOuverture(EtatNoise& etat, const Secret<32>& psk,
                                                  const MessageReprise::Poignee& poignee);
/// Jetons de la réponse, côté répondeur : e, ee, l'étiquette ; rien pour un point d'ordre
/// faible.
[[nodiscard]] std::optional<MessageReprise::Poignee> ecrireReponse(EtatNoise& etat,
                                                                   const ClePriveeX25519& e,
                                                                   VueOctets re);
/// Côté initiateur ; faux quand la réponse ne vient pas d'un détenteur de la PSK qui a lu
/// notre ouverture.
[[nodiscard]] bool lireReponse(EtatNoise& etat, const ClePriveeX25519& e,
                               const MessageReprise::Poignee& poignee);

/// La preuve de l'initiateur : premier message de transport sous c1 (n = 0, ad vide).
[[nodiscard]] MessageReprise::Tag preuveInitiateur(const EtatNoise::ClesTransport& cles);

/// La liaison de chaque côté : le scelleur de l'initiateur part du numéro 1, le 0 de c1
/// ayant servi à la preuve.
[[nodiscard]] Liaison liaisonInitiateur(const EtatNoise::ClesTransport& cles);
[[nodiscard]] Liaison liaisonRepondeur(const EtatNoise::ClesTransport& cles);

}  // namespace ravlo
