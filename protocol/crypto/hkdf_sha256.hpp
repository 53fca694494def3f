// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <span>

#include "protocol/base/octets.hpp"
#include "protocol/crypto/hmac_sha256.hpp"
#include "protocol/crypto/secret.hpp"

namespace ravlo {

// Dérivation de clés HKDF-SHA-256 (RFC 5869), bâtie sur HMAC-SHA-256 : libsodium 1.0.18
// n'en a pas.

/// Extraction : PRK = HMAC(sel, ikm). Un sel vide vaut 32 zéros, HMAC complétant sa clé
/// par des zéros.
[[nodiscard]] Secret<32> hkdfExtraire(VueOctets sel, VueOctets ikm);

/// Expansion : T(i) = HMAC(PRK, T(i−1) ‖ info ‖ i), concaténés et coupés à la taille de
/// `sortie`, qui ne dépasse pas 255 × 32 octets.
void hkdfEtendre(const Secret<32>& prk, VueOctets info, std::span<std::uint8_t> sortie);

/// Extraction puis expansion.
void hkdfSha256(VueOctets ikm, VueOctets sel, VueOctets info, std::span<std::uint8_t> sortie);

}  // namespace ravlo
