// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/panneau_link.hpp"

#include "link/app/qt/cadre_panneau.hpp"
#include "link/app/qt/vue_panneau.hpp"
#include "plateforme/systeme.hpp"

namespace ravlo {

namespace {

// Deux messages offrent les réglages : la capture muette (pendant l'envoi) et le réseau local
// inaccessible (hors envoi).
SujetReglages sujetDuMessage(EtatPanneau::Ecran ecran) {
  return ecran == EtatPanneau::Ecran::envoi ? SujetReglages::son : SujetReglages::reseau;
}

}  // namespace

PanneauLink::PanneauLink(std::shared_ptr<ModeleLink> modele,
                         const std::shared_ptr<PlateformeApp>& plateforme, Executeur& principal,
                         ReglagesBureau reglages, QObject* parent)
    : QObject(parent),
      modele_(std::move(modele)),
      reglages_(std::move(reglages)),
      ticker_(principal, modele_->diffusion().shared_from_this(), saisie_),
      cadre_(std::make_unique<CadrePanneau>()) {
  ActionsPanneau actions = ActionsPanneau::pour(modele_, saisie_, plateforme, principal);
  actions.ouvrirReglages = [this] { reglages_.ouvrir(sujetDuMessage(etat_.ecran)); };
  vue_ = new VuePanneau(saisie_, std::move(actions));
  cadre_->changerContenu(vue_);
  connect(cadre_.get(), &CadrePanneau::ferme, this, [this] { ticker_.arreter(); });
  const auto rebatir = [this] { reconstruire(); };
  suiviModele_ = modele_->observer(rebatir);
  suiviChercheur_ = modele_->chercheur().observer(rebatir);
  suiviDiffusion_ = modele_->diffusion().observer(rebatir);
  suiviSaisie_ = saisie_->observer(rebatir);
  reconstruire();
}

PanneauLink::~PanneauLink() = default;

void PanneauLink::basculerPres(const QRect& icone) {
  if (!cadre_->isVisible()) ouvrirPanneau(*modele_, *saisie_, ticker_);
  cadre_->basculerPres(icone);
  // Le clic qui vient de fermer le panneau ne le rouvre pas : le relevé n'a pas à tourner.
  if (!cadre_->isVisible()) ticker_.arreter();
}

void PanneauLink::ouvrirPres(const QRect& icone) {
  ouvrirPanneau(*modele_, *saisie_, ticker_);
  cadre_->montrerPres(icone);
}

void PanneauLink::ouvrirEnFenetre(const QString& note) {
  if (!cadre_->enFenetre()) changerDeCadre(true, note);
  ouvrirPanneau(*modele_, *saisie_, ticker_);
  cadre_->montrerFenetre();
}

void PanneauLink::revenirALaZone() {
  if (cadre_->enFenetre()) changerDeCadre(false, {});
}

void PanneauLink::changerDeCadre(bool fenetre, const QString& note) {
  cadre_->close();
  auto neuf = std::make_unique<CadrePanneau>();
  neuf->changerEnFenetre(fenetre, note);
  neuf->changerContenu(cadre_->prendreContenu());
  connect(neuf.get(), &CadrePanneau::ferme, this, [this] { ticker_.arreter(); });
  cadre_ = std::move(neuf);
}

void PanneauLink::rappeler(const QRect& icone) {
  if (cadre_->enFenetre()) {
    ouvrirPanneau(*modele_, *saisie_, ticker_);
    cadre_->montrerFenetre();
  } else {
    ouvrirPres(icone);
  }
}

void PanneauLink::reconstruire() {
  // Entretenir la sélection prévient la saisie, qui rappelle ceci : on reprend en boucle.
  if (enReconstruction_) {
    aRefaire_ = true;
    return;
  }
  enReconstruction_ = true;
  do {
    aRefaire_ = false;
    const EtatPanneau etat = EtatPanneau::depuis(*modele_, localeCourante());
    if (etat.appareils != etat_.appareils) saisie_->entretenirSelection(etat.appareils);
    etat_ = etat;
    const bool enDiffusion = etat.ecran == EtatPanneau::Ecran::envoi;
    if (enDiffusion != enDiffusion_) {
      enDiffusion_ = enDiffusion;
      if (cadre_->isVisible()) ticker_.relancer();
      // Le prochain envoi s'ouvre sur ses pièces, pas sur un ajout laissé ouvert.
      if (!enDiffusion) saisie_->changerAjoutOuvert(false);
      saisie_->changerAdresseOuverte(false);
    }
    const bool reglages = etat.message && etat.message->ouvrirReglages && reglages_.existe &&
                          reglages_.existe(sujetDuMessage(etat.ecran));
    vue_->afficher(etat, reglages);
  } while (aRefaire_);
  enReconstruction_ = false;
  if (cadre_->isVisible()) cadre_->reajuster();
}

}  // namespace ravlo
