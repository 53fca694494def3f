// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <variant>

#include "protocol/appairage/message_passkey.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/reprise/secret_paire.hpp"

namespace ravlo {

enum class ErreurReprise : std::uint8_t {
  formatInvalide  ///< datagramme rejeté en entier
};

/// L'un des quatre messages de la reprise d'un appairage mémorisé, seul dans son
/// datagramme, sous l'en-tête des messages d'appairage mais dans des cas que ceux-ci
/// n'emploient pas : un récepteur qui ne les connaît pas les écarte sans répondre.
///
///   0      2   3   4                12
///   +------+---+---+----------------+-----------------------+
///   | "RP" | 1 | c | tentative (LE) | charge du cas c       |
///   +------+---+---+----------------+-----------------------+
///
///   c  cas         charge                                           message
///   6  ouverture   identifiant de la paire (16) ‖ e (32) ‖ tag (16)  76
///   7  reponse     e (32) ‖ tag (16)                                 60
///   8  preuve      tag (16)                                          28
///   9  refus       rien                                              12
///
/// `ouverture` et `reponse` portent les deux messages de la poignée Noise telle quelle ;
/// `preuve` est le premier message de transport de l'initiateur (contenu vide). Le décodage
/// refuse tout écart à ces tailles.
class MessageReprise {
 public:
  static constexpr std::size_t tailleCle = 32;
  static constexpr std::size_t tailleTag = 16;
  using Poignee = std::array<std::uint8_t, tailleCle + tailleTag>;
  using Tag = std::array<std::uint8_t, tailleTag>;

  struct Ouverture {
    IdentifiantPaire identifiant;
    Poignee poignee;
    bool operator==(const Ouverture&) const = default;
  };
  struct Reponse {
    Poignee poignee;
    bool operator==(const Reponse&) const = default;
  };
  struct Preuve {
    Tag tag;
    bool operator==(const Preuve&) const = default;
  };
  struct Refus {
    bool operator==(const Refus&) const = default;
  };
  /// Dans l'ordre des cas sur le fil, à partir de `premierCas`.
  using Contenu = std::variant<Ouverture, Reponse, Preuve, Refus>;

  /// Le premier cas après ceux de l'appairage au code (0 à 5), sous le même en-tête.
  static constexpr std::uint8_t premierCas = std::variant_size_v<MessagePasskey::Contenu>;
  static constexpr std::size_t tailleEnTete = MessagePasskey::tailleEnTete;

  MessageReprise(std::uint64_t tentative, Contenu contenu)
      : tentative_(tentative), contenu_(contenu) {}

  [[nodiscard]] static std::expected<MessageReprise, ErreurReprise> decoder(VueOctets donnees);
  [[nodiscard]] Octets donnees() const;

  [[nodiscard]] std::uint64_t tentative() const { return tentative_; }
  [[nodiscard]] const Contenu& contenu() const { return contenu_; }
  template <typename T>
  [[nodiscard]] const T* comme() const {
    return std::get_if<T>(&contenu_);
  }

  bool operator==(const MessageReprise&) const = default;

 private:
  std::uint64_t tentative_;
  Contenu contenu_;
};

}  // namespace ravlo
