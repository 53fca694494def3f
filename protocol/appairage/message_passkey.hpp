// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <variant>

#include "protocol/base/octets.hpp"

namespace ravlo {

class EcrivainOctets;

enum class ErreurPasskey : std::uint8_t {
  formatInvalide  ///< datagramme rejeté en entier : aucun message partiel
};

/// L'un des six messages de l'appairage, seul dans son datagramme.
///
///   0      2   3   4                12
///   +------+---+---+----------------+-----------------------+
///   | "RP" | 1 | c | tentative (LE) | charge du cas c       |
///   +------+---+---+----------------+-----------------------+
///
///   c  cas           charge                              message
///   0  debut         cle (32) ‖ L (1) ‖ nom UTF-8 (L ≤ 128)   45 + L
///   1  cle           cle (32)                            44
///   2  engagement    rang (1, ≤ 13) ‖ valeur (32)        45
///   3  devoilement   rang (1, ≤ 13) ‖ nonce (16)         29
///   4  confirmation  valeur (32)                         44
///   5  refus         rien                                12
///
/// Le décodage refuse tout écart à ces tailles ; il ne vérifie ni la tentative ni qu'une
/// clé soit un point de la courbe, ce que font les automates. L'encodage écrit les champs
/// tels quels, sans en contrôler la longueur. Deux messages sont égaux quand ils sont du
/// même cas aux champs égaux : c'est ainsi qu'un automate reconnaît une retransmission.
class MessagePasskey {
 public:
  struct Debut {
    Octets cle;  ///< clé publique X25519 de l'initiateur
    std::string nomOrdinateur;
    bool operator==(const Debut&) const = default;
  };
  struct Cle {
    Octets cle;  ///< clé publique X25519 du répondeur
    bool operator==(const Cle&) const = default;
  };
  struct Engagement {
    std::uint8_t rang;
    Octets valeur;
    bool operator==(const Engagement&) const = default;
  };
  struct Devoilement {
    std::uint8_t rang;
    Octets nonce;
    bool operator==(const Devoilement&) const = default;
  };
  struct Confirmation {
    Octets valeur;
    bool operator==(const Confirmation&) const = default;
  };
  struct Refus {
    bool operator==(const Refus&) const = default;
  };
  /// L'ordre des alternatives est celui des codes sur le fil.
  using Contenu = std::variant<Debut, Cle, Engagement, Devoilement, Confirmation, Refus>;

  static constexpr std::array<std::uint8_t, 2> signature{'R', 'P'};
  static constexpr std::uint8_t version = 1;
  static constexpr std::size_t tailleEnTete = 12;
  /// L'en-tête « RP », version, cas, tentative : le même pour la reprise sans code, dont les
  /// cas suivent ceux-ci.
  struct EnTete {
    std::uint8_t cas;
    std::uint64_t tentative;
  };
  [[nodiscard]] static std::optional<EnTete> lireEnTete(VueOctets donnees);
  static void ecrireEnTete(EcrivainOctets& sortie, EnTete enTete);
  static constexpr std::uint8_t rangMax = 13;
  static constexpr std::size_t tailleCle = 32;
  static constexpr std::size_t tailleValeur = 32;
  static constexpr std::size_t tailleNonce = 16;

  MessagePasskey(std::uint64_t tentative, Contenu contenu)
      : tentative_(tentative), contenu_(std::move(contenu)) {}

  [[nodiscard]] static MessagePasskey debut(std::uint64_t t, Octets cle, std::string nom) {
    return {t, Debut{std::move(cle), std::move(nom)}};
  }
  [[nodiscard]] static MessagePasskey cle(std::uint64_t t, Octets cle) {
    return {t, Cle{std::move(cle)}};
  }
  [[nodiscard]] static MessagePasskey engagement(std::uint64_t t, std::uint8_t r, Octets v) {
    return {t, Engagement{r, std::move(v)}};
  }
  [[nodiscard]] static MessagePasskey devoilement(std::uint64_t t, std::uint8_t r, Octets n) {
    return {t, Devoilement{r, std::move(n)}};
  }
  [[nodiscard]] static MessagePasskey confirmation(std::uint64_t t, Octets v) {
    return {t, Confirmation{std::move(v)}};
  }
  [[nodiscard]] static MessagePasskey refus(std::uint64_t t) { return {t, Refus{}}; }

  /// Lit un datagramme ; la première règle rompue donne `formatInvalide`.
  [[nodiscard]] static std::expected<MessagePasskey, ErreurPasskey> decoder(VueOctets donnees);

  /// La forme sur le fil ; n'échoue jamais.
  [[nodiscard]] Octets donnees() const;

  [[nodiscard]] std::uint64_t tentative() const { return tentative_; }
  [[nodiscard]] const Contenu& contenu() const { return contenu_; }

  /// Le contenu s'il est du cas `T`, sinon nul.
  template <typename T>
  [[nodiscard]] const T* comme() const {
    return std::get_if<T>(&contenu_);
  }

  bool operator==(const MessagePasskey&) const = default;

 private:
  std::uint64_t tentative_;
  Contenu contenu_;
};

}  // namespace ravlo
