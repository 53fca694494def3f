#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/appairage/code_appairage.hpp"
#include "protocol/appairage/message_passkey.hpp"
#include "protocol/base/instant.hpp"
#include "protocol/crypto/source_de_hasard.hpp"

namespace ravlo {

/// Le guichet d'appairage du récepteur : un répondeur par tentative, et le code montré.
///
/// Une tentative qui a pu entamer le code (refusée, ou muette plus de 10 s après avoir
/// dépassé son premier engagement) le fait renouveler : le répondeur refuse au premier bit
/// faux, si bien qu'un code gardé après des échecs se devinerait en 13 tentatives. Un code
/// fixé (`codeFixe`) ne se renouvelle pas : une fois entamé, il ne sert plus jamais.
///
/// Le répondeur de la dernière tentative finie reste là pour répéter sa dernière réponse
/// (la confirmation finale perdue en route). Non synchronisé : un seul appelant.
class GuichetAppairage {
 public:
  static constexpr std::uint64_t silenceAbandonNs = 10'000'000'000;

  struct Reglages {
    std::optional<CodeAppairage> codeFixe;
    std::function<CodeAppairage()> tirerCode;  ///< code neuf du hasard du système
    std::shared_ptr<SourceDeHasard> hasard;
  };

  /// Ce qu'un message ou le passage du temps a produit.
  struct Issue {
    std::optional<MessagePasskey> reponse;
    std::optional<AppairageRepondeur::Reussi> reussi;
    bool codeRenouvele = false;
    bool codeFixeEntame = false;  ///< le code fixé a été entamé : il ne sert plus
  };

  explicit GuichetAppairage(Reglages reglages);

  Issue recevoir(const MessagePasskey& message, InstantNs maintenant);
  /// Abandonne une tentative muette depuis 10 s.
  Issue surveiller(InstantNs maintenant);

  [[nodiscard]] const CodeAppairage& code() const { return code_; }
  [[nodiscard]] bool codeEpuise() const { return codeEpuise_; }

 private:
  void cloturer(Issue& issue, bool renouveler);

  Reglages reglages_;
  CodeAppairage code_;
  bool codeEpuise_ = false;
  std::unique_ptr<AppairageRepondeur> courant_;
  std::unique_ptr<AppairageRepondeur> fini_;
  InstantNs dernierMessage_ = 0;
};

}  // namespace ravlo
