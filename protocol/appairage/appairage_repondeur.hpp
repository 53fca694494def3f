// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "protocol/appairage/code_appairage.hpp"
#include "protocol/appairage/message_passkey.hpp"
#include "protocol/appairage/passkey.hpp"
#include "protocol/crypto/source_de_hasard.hpp"
#include "protocol/reprise/secret_paire.hpp"
#include "protocol/scellement/liaison.hpp"

namespace ravlo {

/// Côté récepteur de l'échange d'appairage : attend un `debut`, sert une seule tentative à
/// la fois, répond par exactement un message à tout message accepté (sauf `refus`) et finit
/// `Reussi` (liaison et nom de l'ordinateur) ou `Echoue`. Automate pur, comme l'initiateur.
///
/// À chaque rang il ne s'engage qu'après l'engagement de l'initiateur et ne dévoile son
/// nonce qu'après avoir vérifié le sien : il ne livre jamais de nonce à qui s'est engagé
/// sur un autre code, et un code faux se voit ici, par un `refus` au dévoilement fautif.
///
/// Tirages : 32 octets de clé privée à chaque `debut` accepté en attente, puis un nonce de
/// 16 octets par rang. Sans délai propre : une tentative muette reste en cours jusqu'à
/// `abandonnerTentative`. Non synchronisé : un seul appelant à la fois.
class AppairageRepondeur {
 public:
  struct Attente {
    bool operator==(const Attente&) const = default;
  };
  struct EnCours {
    bool operator==(const EnCours&) const = default;
  };
  struct Reussi {
    Liaison liaison;
    std::string nomOrdinateur;
    SecretPaire paire;  ///< à retenir pour reprendre sans code
    bool operator==(const Reussi&) const = default;
  };
  struct Echoue {
    bool codeARenouveler;  ///< le code a pu être entamé : en montrer un autre
    bool operator==(const Echoue&) const = default;
  };
  using Etat = std::variant<Attente, EnCours, Reussi, Echoue>;

  AppairageRepondeur(CodeAppairage code, std::shared_ptr<SourceDeHasard> hasard);

  [[nodiscard]] const Etat& etat() const { return etat_; }

  /// La réponse à envoyer, ou rien.
  [[nodiscard]] std::optional<MessagePasskey> recevoir(const MessagePasskey& m);

  /// Abandonne la tentative en cours et revient en attente. Rend s'il faut renouveler le
  /// code, comme pour un `refus` reçu ; faux, sans rien changer, hors tentative.
  bool abandonnerTentative();

  /// Tailles des listes conformes à la phase, jamais plus de 14 entrées, et une tentative
  /// exactement quand l'état est `EnCours` : pour les essais et le fuzzing.
  [[nodiscard]] bool respecteSesInvariants() const;

 private:
  struct AttenteEngagement {
    std::uint8_t rang;
  };
  struct AttenteDevoilement {
    std::uint8_t rang;
  };
  struct AttenteConfirmation {};
  using Phase = std::variant<AttenteEngagement, AttenteDevoilement, AttenteConfirmation>;

  /// La tentative en cours. La clé privée n'y est pas : elle n'a servi qu'au `debut`.
  struct Tentative {
    std::uint64_t numero;
    std::string nom;  ///< tel que reçu : les deux côtés dérivent sur les mêmes octets
    Octets cleA;
    SecretPartage secret;
    Octets cleB;
    Phase phase = AttenteEngagement{0};
    std::vector<Octets> noncesA{};  ///< nonces de l'initiateur vérifiés, par rang
    std::vector<Octets> noncesB{};  ///< nos nonces, par rang
    std::vector<Octets> engagementsA{};
  };

  std::optional<MessagePasskey> recevoirDebut(const MessagePasskey& m,
                                              const MessagePasskey::Debut& debut);
  std::optional<MessagePasskey> recevoirEnCours(Tentative& t, const MessagePasskey& m);
  std::optional<MessagePasskey> recevoirDevoilement(Tentative& t, const MessagePasskey& m,
                                                    const MessagePasskey::Devoilement& d);
  std::optional<MessagePasskey> recevoirConfirmation(const Tentative& t, const MessagePasskey& m,
                                                     const MessagePasskey::Confirmation& c);
  /// Un code entamé dès que la tentative a dépassé l'attente du premier engagement.
  [[nodiscard]] static bool codeARenouveler(const Tentative& t);
  MessagePasskey repondre(const MessagePasskey& recu, MessagePasskey reponse);
  MessagePasskey echouer(const MessagePasskey& m);

  Etat etat_ = Attente{};
  CodeAppairage code_;
  std::shared_ptr<SourceDeHasard> hasard_;
  std::optional<Tentative> courante_;
  std::optional<MessagePasskey> dernierRecu_;
  std::optional<MessagePasskey> derniereReponse_;
};

}  // namespace ravlo
