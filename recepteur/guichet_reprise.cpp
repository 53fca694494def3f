// SPDX-License-Identifier: MPL-2.0
#include "recepteur/guichet_reprise.hpp"

#include <utility>

namespace ravlo {

GuichetReprise::GuichetReprise(std::shared_ptr<MemoireExpediteurs> memoire,
                               std::shared_ptr<SourceDeHasard> hasard)
    : memoire_(std::move(memoire)), hasard_(std::move(hasard)), courant_(neuf()) {}

std::unique_ptr<RepriseRepondeur> GuichetReprise::neuf() {
  return std::make_unique<RepriseRepondeur>(
      [memoire = memoire_,
       nom = nomCourant_](const IdentifiantPaire& id) -> std::optional<SecretPaire> {
        auto paire = memoire ? memoire->chercher(id) : std::nullopt;
        if (!paire) return std::nullopt;
        *nom = std::move(paire->nom);
        return paire->secret;
      },
      hasard_);
}

bool GuichetReprise::enCours() const {
  return std::holds_alternative<RepriseRepondeur::EnCours>(courant_->etat());
}

std::optional<GuichetReprise::Reprise> GuichetReprise::recevoir(const MessageReprise& message,
                                                                const PointReseau& source,
                                                                InstantNs maintenant,
                                                                PolitiqueAppairage& politique,
                                                                std::vector<Reponse>& reponses) {
  if (fini_) {
    if (auto repetee = fini_->recevoir(message)) {
      reponses.push_back({*repetee, source});
      return std::nullopt;
    }
  }
  if (!enCours()) {
    if (message.comme<MessageReprise::Ouverture>() != nullptr)
      servir(message, source, maintenant, politique, reponses);
    return conclure(maintenant, politique, reponses);
  }
  // La tentative en cours n'écoute que sa source : un tiers ne la fait pas échouer.
  const bool ouverture = message.comme<MessageReprise::Ouverture>() != nullptr;
  if (source == sourceCourante_) {
    auto reponse = courant_->recevoir(message);
    if (reponse || !enCours()) duree_.avancer(message, maintenant);
    if (reponse) {
      reponses.push_back({*reponse, source});
    } else if (ouverture && enCours()) {
      // La même source recommence sous un autre numéro : servie dès que l'ancienne cède.
      gardee_ = OuvertureGardee{message, source, maintenant};
      surveiller(maintenant, politique, reponses);
    }
    return conclure(maintenant, politique, reponses);
  }
  if (ouverture) {
    // Comme pour le code : la source servie n'évince pas celle qui attend.
    if (!gardee_ || gardee_->source == source)
      gardee_ = OuvertureGardee{message, source, maintenant};
    surveiller(maintenant, politique, reponses);
  }
  return std::nullopt;
}

void GuichetReprise::surveiller(InstantNs maintenant, PolitiqueAppairage& politique,
                                std::vector<Reponse>& reponses) {
  if (!enCours() ||
      duree_.tient(maintenant, gardee_ ? std::optional(gardee_->arrivee) : std::nullopt))
    return;
  // Sans preuve, rien n'a été vérifié : l'abandon ne compte pas.
  courant_ = neuf();
  duree_.clore();
  servirGardee(maintenant, politique, reponses);
}

void GuichetReprise::servir(const MessageReprise& ouverture, const PointReseau& source,
                            InstantNs maintenant, PolitiqueAppairage& politique,
                            std::vector<Reponse>& reponses) {
  if (politique.pauseRestanteNs(maintenant) > 0) {
    reponses.push_back({MessageReprise(ouverture.tentative(), MessageReprise::Refus{}), source});
    return;
  }
  sourceCourante_ = source;
  duree_.ouvrir(ouverture, maintenant);
  if (auto reponse = courant_->recevoir(ouverture)) reponses.push_back({*reponse, source});
  // Refusée d'emblée (identifiant inconnu, secret faux) : le guichet est libre aussitôt.
  std::optional<Reprise> aucune;
  if (!enCours()) (void)clore(maintenant, politique, aucune);
}

std::optional<GuichetReprise::Reprise> GuichetReprise::conclure(InstantNs maintenant,
                                                                PolitiqueAppairage& politique,
                                                                std::vector<Reponse>& reponses) {
  std::optional<Reprise> reprise;
  if (clore(maintenant, politique, reprise)) servirGardee(maintenant, politique, reponses);
  return reprise;
}

bool GuichetReprise::clore(InstantNs maintenant, PolitiqueAppairage& politique,
                           std::optional<Reprise>& reprise) {
  if (std::holds_alternative<RepriseRepondeur::Attente>(courant_->etat()) || enCours())
    return false;
  if (const auto* reussi = std::get_if<RepriseRepondeur::Reussi>(&courant_->etat())) {
    if (memoire_) memoire_->noterVenue(reussi->identifiant);
    reprise = Reprise{reussi->liaison, *nomCourant_, sourceCourante_};
  } else if (const auto* echec = std::get_if<RepriseRepondeur::Echoue>(&courant_->etat());
             echec != nullptr && compteCommeEchec(echec->raison)) {
    politique.noterEchec(maintenant);
    ++echecs_;
  }
  fini_ = std::exchange(courant_, neuf());
  duree_.clore();
  return true;
}

void GuichetReprise::servirGardee(InstantNs maintenant, PolitiqueAppairage& politique,
                                  std::vector<Reponse>& reponses) {
  if (!gardee_) return;
  const OuvertureGardee gardee = std::move(*gardee_);
  gardee_.reset();
  if (Duree::encoreGardee(maintenant, gardee.arrivee))
    servir(gardee.message, gardee.source, maintenant, politique, reponses);
}

}  // namespace ravlo
