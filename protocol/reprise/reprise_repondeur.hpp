// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "protocol/crypto/source_de_hasard.hpp"
#include "protocol/reprise/message_reprise.hpp"
#include "protocol/reprise/poignee_noise.hpp"
#include "protocol/reprise/secret_paire.hpp"
#include "protocol/scellement/liaison.hpp"

namespace ravlo {

/// Pourquoi une reprise a échoué côté récepteur.
enum class EchecReprise : std::uint8_t {
  inconnue,      ///< identifiant d'aucune paire retenue : aucun secret n'a été essayé
  secretFaux,    ///< l'ouverture n'est pas sous la PSK de la paire (ou son clair est altéré)
  cleInvalide,   ///< clé éphémère d'ordre faible, sous la bonne PSK
  preuveFausse,  ///< la preuve n'est pas sous les clés de cette poignée
  refusRecu      ///< l'initiateur a renoncé
};

/// Ce qui compte pour la politique des essais, comme un code refusé : un secret essayé et
/// faux. Une tentative restée sans preuve (un rejeu de l'ouverture, une preuve perdue) ne
/// compte pas : rien n'y a été vérifié.
[[nodiscard]] constexpr bool compteCommeEchec(EchecReprise e) {
  return e == EchecReprise::secretFaux || e == EchecReprise::cleInvalide ||
         e == EchecReprise::preuveFausse;
}

/// Côté récepteur de la reprise, une instance par tentative : attend une `ouverture`,
/// cherche la PSK de la paire qu'elle nomme, répond par la `reponse` de la poignée, et ne
/// finit `Reussi` (liaison, paire) qu'à la `preuve` de l'initiateur : jusque-là il ne
/// prend rien pour une session. Tout échec reçoit `refus` (le même quelle qu'en soit la
/// cause), sauf un `refus`. Un message déjà reçu reçoit la même réponse, sans rien tirer.
///
/// Tirages : 32 octets de clé éphémère à l'ouverture, avant de l'examiner. Sans délai
/// propre : le guichet abandonne une tentative muette en la jetant. Non synchronisé.
class RepriseRepondeur {
 public:
  /// La PSK retenue pour un identifiant, ou rien.
  using Recherche = std::function<std::optional<SecretPaire>(const IdentifiantPaire&)>;

  struct Attente {
    bool operator==(const Attente&) const = default;
  };
  struct EnCours {
    bool operator==(const EnCours&) const = default;
  };
  struct Reussi {
    Liaison liaison;
    IdentifiantPaire identifiant;
    bool operator==(const Reussi&) const = default;
  };
  struct Echoue {
    EchecReprise raison;
    bool operator==(const Echoue&) const = default;
  };
  using Etat = std::variant<Attente, EnCours, Reussi, Echoue>;

  RepriseRepondeur(Recherche rechercher, std::shared_ptr<SourceDeHasard> hasard);

  [[nodiscard]] const Etat& etat() const { return etat_; }
  [[nodiscard]] std::optional<MessageReprise> recevoir(const MessageReprise& m);

 private:
  std::optional<MessageReprise> recevoirOuverture(const MessageReprise& m,
                                                  const MessageReprise::Ouverture& o);
  std::optional<MessageReprise> echouer(const MessageReprise& m, EchecReprise raison);
  std::optional<MessageReprise> repondre(const MessageReprise& m,
                                         std::optional<MessageReprise> reponse);

  Etat etat_ = Attente{};
  Recherche rechercher_;
  std::shared_ptr<SourceDeHasard> hasard_;
  std::uint64_t tentative_ = 0;
  IdentifiantPaire identifiant_{};
  std::optional<EtatNoise::ClesTransport> cles_;  ///< entre la réponse et la preuve
  std::optional<MessageReprise> dernierRecu_;
  std::optional<MessageReprise> derniereReponse_;
};

}  // namespace ravlo
