// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "protocol/base/octets.hpp"

namespace ravlo {

/// Ce que contient une enveloppe, par valeur de l'octet 3.
enum class SorteEnveloppe : std::uint8_t { audio = 0, horloge = 1, fin = 2 };

/// Clé symétrique de 256 bits d'un sens du lien.
using Cle = std::array<std::uint8_t, 32>;

/// Enveloppe scellée : tout datagramme échangé après l'appairage.
///
///   0       2   3   4               12            12+L          28+L
///   +-------+---+---+---------------+-------------+-------------+
///   | "RV"  | 2 | s | compteur (LE) | chiffré (L) | étiquette 16|
///   +-------+---+---+---------------+-------------+-------------+
///
/// ChaCha20-Poly1305 (RFC 8439) ; les 12 octets d'en-tête sont la donnée associée et le
/// nonce vaut 00 00 00 00 ‖ les 8 octets du compteur tels qu'ils sont sur le fil.
struct Enveloppe {
  static constexpr std::array<std::uint8_t, 2> signature{'R', 'V'};
  static constexpr std::uint8_t version = 2;
  static constexpr std::size_t tailleEnTete = 12;
  static constexpr std::size_t tailleEtiquette = 16;
  static constexpr std::uint64_t tailleFenetre = 64;

  using EnTete = std::array<std::uint8_t, tailleEnTete>;
  using Nonce = std::array<std::uint8_t, 12>;

  /// Les 12 octets d'en-tête d'une sorte et d'un compteur.
  [[nodiscard]] static EnTete entete(SorteEnveloppe sorte, std::uint64_t compteur);
  /// Le nonce que le compteur désigne ; il n'est jamais transmis.
  [[nodiscard]] static Nonce nonce(std::uint64_t compteur);
  /// La sorte qu'un octet nomme, ou rien pour tout octet au-delà de 2.
  [[nodiscard]] static std::optional<SorteEnveloppe> sorteDe(std::uint8_t octet);
  /// La sorte d'un datagramme qui a la forme d'une enveloppe (28 octets au moins, signature,
  /// version, sorte connue), sans rien déchiffrer ; rien pour tout autre.
  [[nodiscard]] static std::optional<SorteEnveloppe> sorteLue(VueOctets datagramme);

  Enveloppe() = delete;
};

}  // namespace ravlo
