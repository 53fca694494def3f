// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/appairage/code_appairage.hpp"
#include "protocol/appairage/message_passkey.hpp"
#include "protocol/base/instant.hpp"
#include "protocol/base/point_reseau.hpp"
#include "protocol/crypto/source_de_hasard.hpp"
#include "recepteur/duree_tentative.hpp"
#include "recepteur/guichet_reprise.hpp"
#include "recepteur/memoire_expediteurs.hpp"
#include "recepteur/politique_appairage.hpp"

namespace ravlo {

/// Le guichet d'appairage du récepteur : un répondeur par tentative, le code montré, et la
/// politique qui borne les essais.
///
/// Le code ne sert qu'une fois. Une tentative qui a pu l'entamer le fait renouveler, car le
/// répondeur refuse au premier bit faux et un code gardé se devinerait en 13 tentatives ; un
/// appairage réussi aussi. L'a pu entamer celle que le récepteur a refusée, ou qui a cessé
/// après qu'il a dévoilé un nonce : c'est un échec pour la politique. Avant cela il n'a rien
/// montré qui dépende du code (ses engagements le cachent), et le code reste : sinon trois
/// datagrammes anonymes en tireraient un neuf, sous les doigts du vrai émetteur. Un code fixé
/// (`codeFixe`) ne se renouvelle pas : entamé ou servi, il n'est plus accepté.
///
/// Pendant une pause de la politique, ou une fois le code fixé épuisé, tout `debut` reçoit
/// aussitôt `refus` sans que le code soit touché.
///
/// Une tentative ne tient pas le guichet : elle est abandonnée 10 s après son premier
/// message, ou 5 s après le dernier message qui l'a fait avancer (une retransmission ne
/// compte pas), ou 1,5 s quand un autre émetteur attend. Le dernier `debut` venu d'une autre
/// source pendant une tentative est gardé et servi dès qu'elle finit.
///
/// Les reprises sans code (`GuichetReprise`) passent au même guichet, à côté des tentatives
/// au code : leurs échecs comptent dans la même politique, et elles ne touchent pas au code.
/// Un appairage au code réussi est retenu dans la `memoire`, sous le nom de l'ordinateur.
///
/// Le répondeur de la dernière tentative finie reste là pour répéter sa dernière réponse
/// (la confirmation finale perdue en route). Non synchronisé : un seul appelant.
class GuichetAppairage {
 public:
  using Duree = DureeTentative<MessagePasskey>;

  struct Reglages {
    std::optional<CodeAppairage> codeFixe;
    std::function<CodeAppairage()> tirerCode;  ///< code neuf du hasard du système
    std::shared_ptr<SourceDeHasard> hasard;
    /// Les expéditeurs mémorisés ; nulle : rien n'est retenu et toute reprise est refusée.
    std::shared_ptr<MemoireExpediteurs> memoire = nullptr;
  };

  struct Reponse {
    MessagePasskey message;
    PointReseau vers;
  };

  struct Appairage {
    AppairageRepondeur::Reussi reussi;
    PointReseau source;  ///< d'où venait la tentative
  };

  /// Ce qu'un message ou le passage du temps a produit.
  struct Issue {
    std::vector<Reponse> reponses;
    std::optional<Appairage> appairage;
    std::vector<GuichetReprise::Reponse> reponsesReprise;
    std::optional<GuichetReprise::Reprise> reprise;
  };

  /// Pourquoi un code fixé ne sert plus.
  enum class Epuisement : std::uint8_t { aucun, parEchec, parAppairage };

  explicit GuichetAppairage(Reglages reglages);

  Issue recevoir(const MessagePasskey& message, const PointReseau& source, InstantNs maintenant);
  /// Un message de reprise : voir `GuichetReprise`, qui partage la politique des codes.
  Issue recevoir(const MessageReprise& message, const PointReseau& source, InstantNs maintenant);
  /// Abandonne la tentative qui ne tient plus (durée, silence) et sert le `debut` gardé ;
  /// de même pour la reprise.
  Issue surveiller(InstantNs maintenant);

  [[nodiscard]] const CodeAppairage& code() const { return code_; }
  [[nodiscard]] Epuisement epuisement() const { return epuisement_; }
  [[nodiscard]] bool codeEpuise() const { return epuisement_ != Epuisement::aucun; }
  [[nodiscard]] std::uint64_t pauseRestanteNs(InstantNs maintenant) const {
    return politique_.pauseRestanteNs(maintenant);
  }
  [[nodiscard]] int echecsRetenus(InstantNs maintenant) const {
    return politique_.echecsRetenus(maintenant);
  }
  /// Les `debut` refusés d'office (pause ou code épuisé).
  [[nodiscard]] std::int64_t essaisRefuses() const { return essaisRefuses_; }
  /// Les tentatives qui ont pu entamer le code sans réussir (refusées, ou abandonnées après
  /// un nonce dévoilé).
  [[nodiscard]] std::int64_t essaisEchoues() const { return essaisEchoues_; }
  /// Les reprises qui ont essayé un secret faux.
  [[nodiscard]] std::int64_t reprisesEchouees() const { return reprise_.echecs(); }

 private:
  struct DebutGarde {
    MessagePasskey message;
    PointReseau source;
    InstantNs arrive = 0;
  };

  [[nodiscard]] bool enCours() const;
  void tenir(InstantNs maintenant, Issue& issue);
  void servirDebut(const MessagePasskey& debut, const PointReseau& source, InstantNs maintenant,
                   Issue& issue);
  void conclure(bool refuseParLeCode, InstantNs maintenant, Issue& issue);
  void echouer(InstantNs maintenant);
  void renouvelerCode(Epuisement cause);
  void servirGarde(InstantNs maintenant, Issue& issue);

  Reglages reglages_;
  CodeAppairage code_;
  Epuisement epuisement_ = Epuisement::aucun;
  PolitiqueAppairage politique_;
  std::unique_ptr<AppairageRepondeur> courant_;
  std::unique_ptr<AppairageRepondeur> fini_;
  PointReseau sourceCourante_;
  std::uint64_t dernierDebut_ = 0;  ///< la tentative en cours : ses copies ne se gardent pas
  Duree duree_;
  bool codeEntame_ = false;  ///< la tentative en cours a vu un nonce du récepteur
  std::optional<DebutGarde> garde_;
  std::int64_t essaisRefuses_ = 0;
  std::int64_t essaisEchoues_ = 0;
  GuichetReprise reprise_;
};

}  // namespace ravlo
