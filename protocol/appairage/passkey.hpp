// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "protocol/base/octets.hpp"
#include "protocol/crypto/cle_privee_x25519.hpp"
#include "protocol/crypto/hmac_sha256.hpp"
#include "protocol/crypto/secret.hpp"

namespace ravlo {

/// Briques partagées par les deux côtés de l'appairage. Les deux automates les emploient
/// telles quelles : c'est ce qui les fait s'entendre. Fonctions pures, sûres depuis tout fil.
///
/// Échange, initiateur I et répondeur R, tentative t :
///   I → R debut(t, cleA, nom)      R → I cle(t, cleB)
///   pour r = 0 … 13 : I → R engagement(t, r, CA)   R → I engagement(t, r, CB)
///                     I → R devoilement(t, r, NA)  R → I devoilement(t, r, NB)
///   I → R confirmation(t, MA)      R → I confirmation(t, MB)
/// soit 60 messages ; l'un ou l'autre peut répondre refus(t) à la place.

inline constexpr std::uint8_t roleInitiateur = 0x41;  // 'A'
inline constexpr std::uint8_t roleRepondeur = 0x42;   // 'B'
inline constexpr std::size_t nombreDeRangs = 14;

using SecretPartage = Secret<32>;

/// K0 scelle ce qu'envoie l'initiateur, K1 ce qu'envoie le répondeur, K2 ne sert qu'à la
/// confirmation.
struct ClesDerivees {
  Secret<32> k0;
  Secret<32> k1;
  Secret<32> k2;
};

/// Secret X25519 avec la clé `cle` du pair ; rien quand `cle` ne fait pas 32 octets, est
/// notre propre clé publique renvoyée, ou mène à un accord refusé (point d'ordre faible).
[[nodiscard]] std::optional<SecretPartage> secretPartage(const ClePriveeX25519& prive,
                                                         VueOctets cle);

/// Engagement d'un rang : HMAC-SHA-256(clé = nonce, role ‖ cleA ‖ cleB ‖ (0x80 | bit)),
/// 66 octets de message. cleA est toujours celle de l'initiateur, cleB celle du répondeur.
[[nodiscard]] Empreinte valeurEngagement(std::uint8_t role, VueOctets cleA, VueOctets cleB,
                                         bool bit, VueOctets nonce);

/// HKDF-SHA-256 : ikm = le secret, sel = SHA-256(noncesA(0…13) ‖ noncesB(0…13)),
/// info = "Ravlo v2" ‖ cleA ‖ cleB ‖ tentative (8, LE) ‖ nom (les octets portés par debut),
/// 96 octets coupés en K0, K1, K2.
[[nodiscard]] ClesDerivees deriverCles(const SecretPartage& secret, std::span<const Octets> noncesA,
                                       std::span<const Octets> noncesB, VueOctets cleA,
                                       VueOctets cleB, std::uint64_t tentative,
                                       std::string_view nom);

/// Confirmation de clé : HMAC-SHA-256(clé = K2, "Ravlo confirme" ‖ role ‖ tentative (8, LE)),
/// 23 octets de message.
[[nodiscard]] Empreinte valeurConfirmation(std::uint8_t role, std::uint64_t tentative,
                                           const Secret<32>& k2);

/// Copie d'une empreinte dans un champ de message.
[[nodiscard]] inline Octets enOctets(const Empreinte& e) {
  return Octets(e.begin(), e.end());
}

}  // namespace ravlo
