// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "protocol/appairage/code_appairage.hpp"
#include "protocol/appairage/message_passkey.hpp"
#include "protocol/appairage/passkey.hpp"
#include "protocol/crypto/cle_privee_x25519.hpp"
#include "protocol/crypto/source_de_hasard.hpp"
#include "protocol/reprise/secret_paire.hpp"
#include "protocol/scellement/liaison.hpp"

namespace ravlo {

/// Côté ordinateur de l'échange d'appairage, une instance par tentative : automate pur, sans
/// entrée-sortie, sans horloge, sans fil. Il sait toujours quel message il veut sur le fil
/// (`dernierMessage`, à renvoyer quand la réponse tarde), prend chaque réponse décodée par
/// `recevoir` et finit `Reussi` (scelleur sous K0, ouvreur sous K1) ou `Echoue`.
///
/// À chaque rang il s'engage, attend l'engagement du pair, dévoile son nonce (dès lors le
/// code compte pour entamé : `codeGrille`) puis vérifie le dévoilement du pair. Un message
/// déjà reçu reçoit à nouveau la même réponse, sans rien tirer, avant tout autre test.
///
/// Tirages, dans cet ordre : 8 octets (tentative, premier octet le plus fort), 32 octets de
/// clé privée, puis un nonce de 16 octets par rang. Non synchronisé : un seul appelant à la fois.
class AppairageInitiateur {
 public:
  struct EnCours {
    bool operator==(const EnCours&) const = default;
  };
  struct Reussi {
    Liaison liaison;
    SecretPaire paire;  ///< à retenir pour reprendre sans code
    bool operator==(const Reussi&) const = default;
  };
  struct Echoue {
    bool codeGrille;  ///< un de nos nonces avait été dévoilé : le code ne doit plus resservir
    bool operator==(const Echoue&) const = default;
  };
  /// Quitte `EnCours` une seule fois, sans retour.
  using Etat = std::variant<EnCours, Reussi, Echoue>;

  /// `nomOrdinateur` est nettoyé par `nomAffichable` avant de partir dans `debut`.
  AppairageInitiateur(CodeAppairage code, std::string_view nomOrdinateur,
                      std::shared_ptr<SourceDeHasard> hasard);

  [[nodiscard]] const Etat& etat() const { return etat_; }
  [[nodiscard]] const MessagePasskey& dernierMessage() const { return dernierMessage_; }
  /// Vrai dès qu'un de nos nonces a été dévoilé.
  [[nodiscard]] bool codeGrille() const { return noncesDevoiles_.any(); }

  /// La réponse à envoyer, ou rien : message d'une autre tentative, hors séquence, après la
  /// fin, `refus` du pair ou confirmation finale du pair.
  [[nodiscard]] std::optional<MessagePasskey> recevoir(const MessagePasskey& m);

  /// Tailles des listes conformes à la phase, jamais plus de 14 entrées : pour les essais et
  /// le fuzzing.
  [[nodiscard]] bool respecteSesInvariants() const;

 private:
  struct AttenteCle {};
  struct AttenteEngagement {
    std::uint8_t rang;
  };
  struct AttenteDevoilement {
    std::uint8_t rang;
  };
  struct AttenteConfirmation {
    Liaison liaison;
    Secret<32> k2;
  };
  struct Fini {};
  using Phase =
      std::variant<AttenteCle, AttenteEngagement, AttenteDevoilement, AttenteConfirmation, Fini>;

  std::optional<MessagePasskey> recevoirCle(const MessagePasskey& m,
                                            const MessagePasskey::Cle& cle);
  std::optional<MessagePasskey> recevoirDevoilement(const MessagePasskey& m,
                                                    const MessagePasskey::Devoilement& d);
  std::optional<MessagePasskey> recevoirConfirmation(const MessagePasskey& m,
                                                     const MessagePasskey::Confirmation& c);
  MessagePasskey engagementPourRang(std::uint8_t rang);
  MessagePasskey echouer(const MessagePasskey& m);
  MessagePasskey avancer(Phase phase, MessagePasskey message, const MessagePasskey& recu);

  // Dans l'ordre des tirages et de ce qu'ils permettent de calculer.
  Etat etat_ = EnCours{};
  CodeAppairage code_;
  std::shared_ptr<SourceDeHasard> hasard_;
  std::uint64_t tentative_;
  std::optional<ClePriveeX25519> prive_;  ///< effacée dès l'accord conclu
  Octets cleA_;
  std::string nom_;
  MessagePasskey dernierMessage_;
  Octets cleB_;
  std::optional<SecretPartage> secret_;
  std::vector<Octets> noncesA_;
  std::vector<Octets> noncesB_;
  std::vector<Octets> engagementsB_;
  Phase phase_ = AttenteCle{};
  std::optional<MessagePasskey> dernierRecu_;
  std::bitset<nombreDeRangs> noncesDevoiles_;
};

}  // namespace ravlo
