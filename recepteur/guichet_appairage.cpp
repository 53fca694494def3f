#include "recepteur/guichet_appairage.hpp"

namespace ravlo {

GuichetAppairage::GuichetAppairage(Reglages reglages)
    : reglages_(std::move(reglages)),
      code_(reglages_.codeFixe ? *reglages_.codeFixe : reglages_.tirerCode()),
      courant_(std::make_unique<AppairageRepondeur>(code_, reglages_.hasard)) {}

bool GuichetAppairage::enCours() const {
  return std::holds_alternative<AppairageRepondeur::EnCours>(courant_->etat());
}

GuichetAppairage::Issue GuichetAppairage::recevoir(const MessagePasskey& message,
                                                   const PointReseau& source,
                                                   InstantNs maintenant) {
  Issue issue;
  if (fini_) {
    if (auto repetee = fini_->recevoir(message)) {
      issue.reponses.push_back({std::move(*repetee), source});
      return issue;
    }
  }
  if (!enCours()) {
    if (message.comme<MessagePasskey::Debut>() != nullptr)
      servirDebut(message, source, maintenant, issue);
    return issue;
  }
  auto reponse = courant_->recevoir(message);
  if (reponse) {
    // Une retransmission ne fait pas avancer la tentative : elle ne la prolonge pas.
    if (!dernierAccepte_ || !(*dernierAccepte_ == message)) {
      dernierAccepte_ = message;
      dernierProgres_ = maintenant;
    }
    const bool refus = reponse->comme<MessagePasskey::Refus>() != nullptr;
    issue.reponses.push_back({std::move(*reponse), source});
    if (!enCours()) conclure(refus, maintenant, issue);
    return issue;
  }
  if (!enCours()) {
    conclure(false, maintenant, issue);  // le `refus` de l'initiateur
  } else if (message.comme<MessagePasskey::Debut>() != nullptr &&
             message.tentative() != dernierDebut_) {
    garde_ = DebutGarde{message, source, maintenant};
    tenir(maintenant, issue);
  }
  return issue;
}

GuichetAppairage::Issue GuichetAppairage::surveiller(InstantNs maintenant) {
  Issue issue;
  tenir(maintenant, issue);
  return issue;
}

void GuichetAppairage::tenir(InstantNs maintenant, Issue& issue) {
  if (!enCours()) return;
  const bool attente = garde_ && ecartNs(maintenant, garde_->arrive) < gardeDebutNs;
  const std::uint64_t calme = ecartNs(maintenant, dernierProgres_);
  if (ecartNs(maintenant, debutTentative_) < vieMaxNs &&
      calme < (attente ? silenceSiAttenteNs : silenceMaxNs)) {
    return;
  }
  // Rien à répéter d'une tentative abandonnée : `fini_` garde la précédente.
  const bool renouveler = courant_->abandonnerTentative();
  dernierAccepte_.reset();
  if (renouveler) {
    renouvelerCode(Epuisement::parEchec);
    courant_ = std::make_unique<AppairageRepondeur>(code_, reglages_.hasard);
  }
  servirGarde(maintenant, issue);
}

void GuichetAppairage::servirDebut(const MessagePasskey& debut, const PointReseau& source,
                                   InstantNs maintenant, Issue& issue) {
  if (codeEpuise() || politique_.pauseRestanteNs(maintenant) > 0) {
    ++essaisRefuses_;
    issue.reponses.push_back({MessagePasskey::refus(debut.tentative()), source});
    return;
  }
  auto reponse = courant_->recevoir(debut);
  if (reponse) issue.reponses.push_back({std::move(*reponse), source});
  sourceCourante_ = source;
  dernierDebut_ = debut.tentative();
  debutTentative_ = maintenant;
  dernierProgres_ = maintenant;
  dernierAccepte_ = debut;
  if (!enCours()) conclure(false, maintenant, issue);  // clé refusée : rien d'entamé
}

void GuichetAppairage::conclure(bool refuseParLeCode, InstantNs maintenant, Issue& issue) {
  const auto& etat = courant_->etat();
  bool renouveler = false;
  Epuisement cause = Epuisement::parEchec;
  if (const auto* reussi = std::get_if<AppairageRepondeur::Reussi>(&etat)) {
    issue.appairage = Appairage{*reussi, sourceCourante_};
    renouveler = true;
    cause = Epuisement::parAppairage;
  } else if (const auto* echoue = std::get_if<AppairageRepondeur::Echoue>(&etat)) {
    renouveler = echoue->codeARenouveler;
    // Seul un code vérifié puis refusé est un essai de devinette ; un initiateur qui se
    // retire n'a rien appris d'un code qui change.
    if (renouveler && refuseParLeCode) {
      politique_.noterEchec(maintenant);
      ++essaisEchoues_;
    }
  }
  fini_ = std::move(courant_);
  dernierAccepte_.reset();
  if (renouveler) renouvelerCode(cause);
  courant_ = std::make_unique<AppairageRepondeur>(code_, reglages_.hasard);
  servirGarde(maintenant, issue);
}

void GuichetAppairage::renouvelerCode(Epuisement cause) {
  if (!reglages_.codeFixe) {
    // « Voici un nouveau code » doit montrer un autre code : un tirage qui redonne le même
    // (une fois sur 10 000) se refait. Le borner garde un tirage truqué d'une boucle sans fin.
    const CodeAppairage ancien = code_;
    for (int i = 0; i < 16 && code_ == ancien; ++i) code_ = reglages_.tirerCode();
  } else if (epuisement_ == Epuisement::aucun) {
    epuisement_ = cause;
  }
}

void GuichetAppairage::servirGarde(InstantNs maintenant, Issue& issue) {
  if (!garde_) return;
  const DebutGarde garde = std::move(*garde_);
  garde_.reset();
  if (ecartNs(maintenant, garde.arrive) < gardeDebutNs)
    servirDebut(garde.message, garde.source, maintenant, issue);
}

}  // namespace ravlo
