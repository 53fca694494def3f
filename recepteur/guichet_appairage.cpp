// SPDX-License-Identifier: MPL-2.0
#include "recepteur/guichet_appairage.hpp"

namespace ravlo {

GuichetAppairage::GuichetAppairage(Reglages reglages)
    : reglages_(std::move(reglages)),
      code_(reglages_.codeFixe ? *reglages_.codeFixe : reglages_.tirerCode()),
      courant_(std::make_unique<AppairageRepondeur>(code_, reglages_.hasard)),
      reprise_(reglages_.memoire, reglages_.hasard) {}

GuichetAppairage::Issue GuichetAppairage::recevoir(const MessageReprise& message,
                                                   const PointReseau& source,
                                                   InstantNs maintenant) {
  Issue issue;
  issue.reprise = reprise_.recevoir(message, source, maintenant, politique_, issue.reponsesReprise);
  return issue;
}

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
  // La tentative en cours n'écoute que sa source : un tiers qui a lu son numéro sur le réseau
  // ne la fait pas échouer.
  auto reponse = source == sourceCourante_ ? courant_->recevoir(message) : std::nullopt;
  if (reponse) {
    // Le nonce du récepteur dévoilé, le bit du code qu'il engageait se lit : dès lors la
    // tentative a pu entamer le code.
    if (reponse->comme<MessagePasskey::Devoilement>() != nullptr) codeEntame_ = true;
    duree_.avancer(message, maintenant);
    const bool refus = reponse->comme<MessagePasskey::Refus>() != nullptr;
    issue.reponses.push_back({std::move(*reponse), source});
    if (!enCours()) conclure(refus, maintenant, issue);
    return issue;
  }
  if (!enCours()) {
    conclure(false, maintenant, issue);  // le `refus` de l'initiateur
  } else if (message.comme<MessagePasskey::Debut>() != nullptr &&
             message.tentative() != dernierDebut_) {
    // La source servie n'évince pas celle qui attend : sans cela, un `debut` glissé avant
    // chaque `refus` écarterait à coup sûr celui d'un vrai émetteur.
    if (!garde_ || garde_->source == source || source != sourceCourante_)
      garde_ = DebutGarde{message, source, maintenant};
    tenir(maintenant, issue);
  }
  return issue;
}

GuichetAppairage::Issue GuichetAppairage::surveiller(InstantNs maintenant) {
  Issue issue;
  tenir(maintenant, issue);
  reprise_.surveiller(maintenant, politique_, issue.reponsesReprise);
  return issue;
}

void GuichetAppairage::tenir(InstantNs maintenant, Issue& issue) {
  if (!enCours() || duree_.tient(maintenant, garde_ ? std::optional(garde_->arrive) : std::nullopt))
    return;
  // Rien à répéter d'une tentative abandonnée : `fini_` garde la précédente.
  (void)courant_->abandonnerTentative();
  duree_.clore();
  if (codeEntame_) echouer(maintenant);
  courant_ = std::make_unique<AppairageRepondeur>(code_, reglages_.hasard);
  codeEntame_ = false;
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
  duree_.ouvrir(debut, maintenant);
  if (!enCours()) conclure(false, maintenant, issue);  // clé refusée : rien d'entamé
}

void GuichetAppairage::conclure(bool refuseParLeCode, InstantNs maintenant, Issue& issue) {
  // Le répondeur demande un code neuf dès qu'un engagement a été échangé ; le suivre ferait
  // tirer un code par `debut`, `engagement`, `refus` anonymes, sans rien en apprendre, et
  // le vrai émetteur taperait toujours un code périmé. Seul compte ce qui a pu fuir :
  // un refus du récepteur (le bit essayé était faux) ou un nonce dévoilé.
  if (const auto* reussi = std::get_if<AppairageRepondeur::Reussi>(&courant_->etat())) {
    issue.appairage = Appairage{*reussi, sourceCourante_};
    if (reglages_.memoire) reglages_.memoire->retenir(reussi->paire, reussi->nomOrdinateur);
    renouvelerCode(Epuisement::parAppairage);
  } else if (refuseParLeCode || codeEntame_) {
    echouer(maintenant);
  }
  fini_ = std::move(courant_);
  duree_.clore();
  courant_ = std::make_unique<AppairageRepondeur>(code_, reglages_.hasard);
  codeEntame_ = false;
  servirGarde(maintenant, issue);
}

void GuichetAppairage::echouer(InstantNs maintenant) {
  politique_.noterEchec(maintenant);
  ++essaisEchoues_;
  renouvelerCode(Epuisement::parEchec);
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
  if (Duree::encoreGardee(maintenant, garde.arrive))
    servirDebut(garde.message, garde.source, maintenant, issue);
}

}  // namespace ravlo
