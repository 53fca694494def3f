// SPDX-License-Identifier: MPL-2.0
#include "link/app/avis_fin_envoi.hpp"

#include "link/app/etat_panneau.hpp"
#include "plateforme/systeme.hpp"

namespace ravlo {

AvisFinEnvoi::AvisFinEnvoi(const std::shared_ptr<ModeleLink>& modele,
                           std::shared_ptr<NotificationsBureau> bureau,
                           std::function<std::string()> locale)
    : modele_(modele), bureau_(std::move(bureau)), locale_(std::move(locale)) {
  resultat_ = modele->chercheur().resultat().cas;
  captureMuette_ = modele->diffusion().captureMuette();
  suiviChercheur_ = modele->chercheur().observer([this] { relire(); });
  suiviDiffusion_ = modele->diffusion().observer([this] { relire(); });
}

void AvisFinEnvoi::relire() {
  using Cas = ChercheurRavlo::Resultat::Cas;
  const auto modele = modele_.lock();
  if (!modele) return;
  const Cas resultat = modele->chercheur().resultat().cas;
  const bool captureMuette =
      modele->diffusion().enDiffusion() && modele->diffusion().captureMuette();
  const bool fin = resultat != resultat_ &&
                   (resultat == Cas::finParRecepteur || resultat == Cas::recepteurInjoignable);
  const bool tue = captureMuette && !captureMuette_;
  resultat_ = resultat;
  captureMuette_ = captureMuette;
  if (!fin && !tue) return;
  // Le message que le panneau montrerait : l'écran d'appairage après une fin, l'envoi sinon.
  const std::string locale = locale_ ? locale_() : localeCourante();
  const auto message = messagePanneau(
      fin ? EtatPanneau::Ecran::appairage : EtatPanneau::Ecran::envoi, *modele, locale);
  if (message) bureau_->notifier(message->titre, message->texte);
}

}  // namespace ravlo
