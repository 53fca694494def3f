// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

#include "protocol/crypto/cle_privee_x25519.hpp"
#include "protocol/crypto/source_de_hasard.hpp"
#include "protocol/reprise/message_reprise.hpp"
#include "protocol/reprise/poignee_noise.hpp"
#include "protocol/reprise/secret_paire.hpp"
#include "protocol/scellement/liaison.hpp"

namespace ravlo {

/// Côté ordinateur de la reprise d'un appairage mémorisé, une instance par tentative :
/// automate pur, sans entrée-sortie, sans horloge, sans fil, comme l'initiateur de
/// l'appairage. Il envoie l'ouverture (`dernierMessage`, à renvoyer quand la réponse tarde),
/// lit la réponse, puis finit `Reussi` en envoyant sa preuve (qui devient `dernierMessage`)
/// ou `Echoue`.
///
/// Tirages, dans cet ordre : 8 octets (tentative, premier octet le plus fort), 32 octets de
/// clé éphémère. Non synchronisé.
class RepriseInitiateur {
 public:
  struct EnCours {
    bool operator==(const EnCours&) const = default;
  };
  struct Reussi {
    Liaison liaison;
    bool operator==(const Reussi&) const = default;
  };
  struct Echoue {
    bool refusParLeRecepteur;  ///< le récepteur ne reconnaît pas la paire : repasser au code
    bool operator==(const Echoue&) const = default;
  };
  using Etat = std::variant<EnCours, Reussi, Echoue>;

  RepriseInitiateur(const SecretPaire& paire, const std::shared_ptr<SourceDeHasard>& hasard);

  [[nodiscard]] const Etat& etat() const { return etat_; }
  [[nodiscard]] const MessageReprise& dernierMessage() const { return dernierMessage_; }

  /// La réponse à envoyer, ou rien : autre tentative, hors séquence, après la fin, `refus`.
  /// Une réponse déjà lue reçoit de nouveau la même preuve.
  [[nodiscard]] std::optional<MessageReprise> recevoir(const MessageReprise& m);

 private:
  Etat etat_ = EnCours{};
  std::uint64_t tentative_;
  std::optional<ClePriveeX25519> ephemere_;  ///< effacée dès la réponse lue
  EtatNoise noise_;
  MessageReprise dernierMessage_;
  std::optional<MessageReprise> dernierRecu_;
};

}  // namespace ravlo
