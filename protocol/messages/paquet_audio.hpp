// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <expected>

#include "protocol/audio/format_flux.hpp"
#include "protocol/base/octets.hpp"

namespace ravlo {

enum class CasErreurPaquet : std::uint8_t {
  versionInconnue,      ///< l'octet 2 n'est pas 1 ; `octetLu` le porte
  tropCourt,            ///< moins de 16 octets
  signatureInvalide,    ///< les octets 0–1 ne sont pas "RV"
  tailleAudioInvalide,  ///< PCM vide ou pas multiple de 4
  tropDeTrames          ///< plus de 320 trames
};

struct ErreurPaquet {
  CasErreurPaquet cas;
  std::uint8_t octetLu = 0;  ///< octet de version lu, pour `versionInconnue`
  bool operator==(const ErreurPaquet&) const = default;
};

/// Paquet audio : au plus 320 trames stéréo 16 bits (6⅔ ms à 48 kHz), son numéro et
/// l'heure de capture de sa première trame. Ni chiffré ni authentifié : l'enveloppe s'en
/// charge. Tout paquet construit est valide.
///
///   0      2   3   4          8                  16
///   +------+---+---+----------+------------------+-----------------------+
///   | "RV" | 1 | 0 | séquence | horodatage (ns)  | échantillons (4 × n)  |
///   +------+---+---+----------+------------------+-----------------------+
///
/// Entiers petit-boutistes ; l'octet 3 est écrit 0 et ignoré à la lecture ; 20 à 1296 octets.
class PaquetAudio {
 public:
  static constexpr std::array<std::uint8_t, 2> signature{'R', 'V'};
  static constexpr std::uint8_t version = 1;
  static constexpr std::size_t tailleEnTete = 16;
  static constexpr std::size_t octetsParTrame = flux::octetsParTrame;
  static constexpr std::size_t tramesMax = flux::tramesParPaquet;

  /// Refuse un PCM vide, pas multiple de 4, ou de plus de 320 trames.
  [[nodiscard]] static std::expected<PaquetAudio, ErreurPaquet> creer(
      std::uint32_t sequence, std::uint64_t horodatageNanosecondes, Octets echantillons);

  /// Lit une forme sur le fil ; rapporte la première règle rompue, dans l'ordre : longueur,
  /// signature, version, puis la taille du PCM.
  [[nodiscard]] static std::expected<PaquetAudio, ErreurPaquet> lire(VueOctets donnees);

  [[nodiscard]] Octets encoder() const;
  /// Le même datagramme écrit dans `dans`, sans allocation (le chemin de l'émetteur) ; rend
  /// sa taille, ou l'erreur si les échantillons ne font pas un paquet ou si la place manque.
  [[nodiscard]] static std::expected<std::size_t, ErreurPaquet> encoderDans(
      std::uint32_t sequence, std::uint64_t horodatageNanosecondes, VueOctets echantillons,
      std::span<std::uint8_t> dans);

  [[nodiscard]] std::uint32_t sequence() const { return sequence_; }
  [[nodiscard]] std::uint64_t horodatageNanosecondes() const { return horodatage_; }
  [[nodiscard]] const Octets& echantillons() const { return echantillons_; }

  bool operator==(const PaquetAudio&) const = default;

 private:
  PaquetAudio(std::uint32_t sequence, std::uint64_t horodatage, Octets echantillons)
      : sequence_(sequence), horodatage_(horodatage), echantillons_(std::move(echantillons)) {}

  std::uint32_t sequence_;
  std::uint64_t horodatage_;
  Octets echantillons_;
};

}  // namespace ravlo
