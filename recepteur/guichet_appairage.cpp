#include "recepteur/guichet_appairage.hpp"

namespace ravlo {

GuichetAppairage::GuichetAppairage(Reglages reglages)
    : reglages_(std::move(reglages)),
      code_(reglages_.codeFixe ? *reglages_.codeFixe : reglages_.tirerCode()),
      courant_(std::make_unique<AppairageRepondeur>(code_, reglages_.hasard)) {}

GuichetAppairage::Issue GuichetAppairage::recevoir(const MessagePasskey& message,
                                                   InstantNs maintenant) {
  Issue issue;
  if (fini_) {
    issue.reponse = fini_->recevoir(message);
    if (issue.reponse) return issue;
  }
  // Un code entamé et fixé ne se montre plus : aucune tentative n'est plus servie.
  if (codeEpuise_) return issue;
  issue.reponse = courant_->recevoir(message);
  dernierMessage_ = maintenant;
  const auto& etat = courant_->etat();
  if (const auto* reussi = std::get_if<AppairageRepondeur::Reussi>(&etat)) {
    issue.reussi = *reussi;
    cloturer(issue, false);
  } else if (const auto* echoue = std::get_if<AppairageRepondeur::Echoue>(&etat)) {
    cloturer(issue, echoue->codeARenouveler);
  }
  return issue;
}

GuichetAppairage::Issue GuichetAppairage::surveiller(InstantNs maintenant) {
  Issue issue;
  if (!std::holds_alternative<AppairageRepondeur::EnCours>(courant_->etat()) ||
      ecartNs(maintenant, dernierMessage_) < silenceAbandonNs) {
    return issue;
  }
  if (courant_->abandonnerTentative()) cloturer(issue, true);
  return issue;
}

void GuichetAppairage::cloturer(Issue& issue, bool renouveler) {
  fini_ = std::move(courant_);
  if (renouveler) {
    if (reglages_.codeFixe) {
      codeEpuise_ = true;
      issue.codeFixeEntame = true;
    } else {
      code_ = reglages_.tirerCode();
      issue.codeRenouvele = true;
    }
  }
  courant_ = std::make_unique<AppairageRepondeur>(code_, reglages_.hasard);
}

}  // namespace ravlo
