// SPDX-License-Identifier: MPL-2.0
#include "link/app/modele_link.hpp"

#include <algorithm>

#include "link/app/serveur_telephone.hpp"
#include "plateforme/connexion_udp.hpp"
#include "plateforme/file_serie.hpp"
#include "protocol/base/exiger.hpp"

namespace ravlo {

ModeleLink::Dependances ModeleLink::dependancesSysteme(
    Executeur& principal, std::shared_ptr<FabriqueNavigateurs> navigateurs, FabriqueCapture capture,
    std::shared_ptr<MagasinReglages> reglages) {
  Dependances d{ChercheurRavlo::dependancesSysteme(principal, std::move(navigateurs)),
                {},
                std::move(reglages)};
  d.diffusion.principal = &principal;
  d.diffusion.capture = std::move(capture);
  d.diffusion.fileEmetteur =
      std::make_shared<FileSerie>("ravlo.emetteur", FileSerie::Priorite::elevee);
  auto relais = std::make_shared<RelaisPages>();
  d.chercheur.connexions = RelaisPages::fabrique(relais, d.chercheur.connexions);
  d.diffusion.connexions = RelaisPages::fabrique(relais, std::make_shared<FabriqueConnexionsUDP>());
  d.telephone = {&principal, std::move(relais), ouvrirServeurTelephone(), adressesTelephone,
                 nullptr};
  return d;
}

std::shared_ptr<ModeleLink> ModeleLink::creer(Dependances dependances) {
  std::shared_ptr<ModeleLink> modele(new ModeleLink(std::move(dependances)));
  modele->brancherFinDeDiffusion();
  modele->suiviChercheur_ = modele->chercheur_->observer([faible = modele->weak_from_this()] {
    if (const auto moi = faible.lock()) {
      moi->oublierPagePartie();
      moi->suivreAppaire();
      if (moi->ajout_ && !moi->chercheur_->appairageEnCours()) moi->conclureAjout();
    }
  });
  modele->suiviDiffusion_ = modele->diffusion_->observer([faible = modele->weak_from_this()] {
    const auto moi = faible.lock();
    if (moi && !moi->diffusion_->enDiffusion()) moi->oublierEchecAjout();
  });
  modele->suiviTelephone_ = modele->telephone_->observer([faible = modele->weak_from_this()] {
    const auto moi = faible.lock();
    if (!moi) return;
    if (!moi->telephone_->active()) moi->quitterPages();
    moi->prevenir();
  });
  if (modele->dep_.reglages->booleen(cleAccueilVu)) modele->chercheur_->demarrer();
  return modele;
}

ModeleLink::ModeleLink(Dependances dependances) : dep_(std::move(dependances)) {
  RAVLO_EXIGER(dep_.reglages != nullptr);
  if (!dep_.chercheur.reglages) dep_.chercheur.reglages = dep_.reglages;
  if (!dep_.diffusion.reglages) dep_.diffusion.reglages = dep_.reglages;
  if (!dep_.telephone.reglages) dep_.telephone.reglages = dep_.reglages;
  if (dep_.telephone.relais && !dep_.chercheur.pageAppairee) {
    dep_.chercheur.pageAppairee = [relais = dep_.telephone.relais](const PointReseau& point) {
      relais->garder(point);
    };
  }
  chercheur_ = ChercheurRavlo::creer(dep_.chercheur);
  diffusion_ = DiffusionModel::creer(dep_.diffusion);
  telephone_ = EcouteTelephone::creer(dep_.telephone, chercheur_);
}

ModeleLink::~ModeleLink() {
  if (sonde_) sonde_->arreter();
}

void ModeleLink::brancherFinDeDiffusion() {
  // Le chercheur vit autant que le modèle de diffusion : les deux appartiennent à celui-ci.
  diffusion_->quandRecepteurArrete(
      [chercheur = chercheur_](DiffusionModel::Fin fin, const std::string& prisPar) {
        chercheur->changerAppaire(std::nullopt);
        if (fin == DiffusionModel::Fin::injoignable) {
          chercheur->changerResultat({ChercheurRavlo::Resultat::Cas::recepteurInjoignable});
        } else {
          chercheur->changerResultat({ChercheurRavlo::Resultat::Cas::finParRecepteur, prisPar});
        }
      });
}

void ModeleLink::suivreAppaire() {
  if (chercheur_->appaire() == appaireVu_) return;
  appaireVu_ = chercheur_->appaire();
  diffusion_->oublierEchec();
}

void ModeleLink::oublierPagePartie() {
  const auto& appaire = chercheur_->appaire();
  if (!appaire || !appaire->appareil.page() || diffusion_->enDiffusion() || ajout_) return;
  const auto& liste = chercheur_->appareils();
  if (std::ranges::find(liste, appaire->appareil.id, &ChercheurRavlo::Appareil::id) != liste.end())
    return;
  chercheur_->changerAppaire(std::nullopt);
}

void ModeleLink::quitterPages() {
  const auto& relais = dep_.telephone.relais;
  if (!relais) return;
  // Éteindre l'écoute est un arrêt demandé : les téléphones cessent tout de suite, sans
  // attendre que leur voie renonce.
  std::vector<Diffusion::NumeroPiece> pages;
  for (const auto& p : diffusion_->pieces())
    if (relais->estPage(p.point)) pages.push_back(p.numero);
  for (const auto numero : pages) diffusion_->retirerPiece(numero);
  if (const auto& appaire = chercheur_->appaire(); appaire && appaire->appareil.page()) {
    chercheur_->changerAppaire(std::nullopt);
    chercheur_->changerResultat({});
  }
}

void ModeleLink::sonder() {
  if (sonde_) return;
  changer(sondeDuSon_, std::optional<bool>());
  auto sonde = std::make_unique<CaptureSysteme>(std::make_shared<TamponAudio>(capaciteSonde), false,
                                                dep_.diffusion.capture());
  if (!sonde->demarrer().has_value()) {
    sonde->arreter();
    changer(sondeDuSon_, std::optional<bool>(false));
    return;
  }
  sonde_ = std::move(sonde);
  dep_.diffusion.principal->posterApres(dureeSonde, [faible = weak_from_this()] {
    const auto moi = faible.lock();
    if (!moi || !moi->sonde_) return;
    moi->sonde_->arreter();
    moi->sonde_.reset();
    moi->changer(moi->sondeDuSon_, std::optional<bool>(true));
  });
}

void ModeleLink::changerDeRecepteur() {
  if (diffusion_->enDiffusion()) diffusion_->arreter();
  chercheur_->changerAppaire(std::nullopt);
  chercheur_->changerResultat({});
}

void ModeleLink::reessayer() {
  chercheur_->relancer();
  if (sondeDuSon_ == false) sonder();
}

void ModeleLink::ajouterPiece(const ChercheurRavlo::Appareil& appareil, const std::string& code,
                              std::function<void()> quandAjoutee) {
  if (!diffusion_->enDiffusion() || ajout_ || chercheur_->appairageEnCours()) return;
  oublierEchecAjout();
  ajout_ = AjoutEnCours{appareil, chercheur_->resultat(), chercheur_->appaire(),
                        std::move(quandAjoutee)};
  chercheur_->appairer(appareil, code);
  // Un refus d'office qui redit l'issue d'avant ne prévient personne.
  if (ajout_ && !chercheur_->appairageEnCours()) conclureAjout();
}

void ModeleLink::conclureAjout() {
  if (!ajout_) return;
  AjoutEnCours ajout = std::move(*ajout_);
  ajout_.reset();
  if (!diffusion_->enDiffusion()) return;
  const ChercheurRavlo::Resultat resultat = chercheur_->resultat();
  const auto appaire = chercheur_->appaire();
  const bool reussi = resultat.cas == ChercheurRavlo::Resultat::Cas::accepte && appaire &&
                      appaire->appareil == ajout.appareil && appaire != ajout.appaireAvant;
  // Le chercheur a pris la pièce pour le récepteur de l'envoi : il rend celui-ci.
  chercheur_->changerAppaire(ajout.appaireAvant);
  chercheur_->changerResultat(ajout.resultatAvant);
  if (!reussi) {
    changer(echecAjout_, std::optional<EchecAjout>(EchecAjout{ajout.appareil.nom, resultat}));
    return;
  }
  diffusion_->ajouterPiece(appaire->appareil.point, appaire->liaison, appaire->appareil.nom);
  if (ajout.quandAjoutee) ajout.quandAjoutee();
}

void ModeleLink::oublierIssueAppairage() {
  oublierEchecAjout();
  if (diffusion_->enDiffusion() || chercheur_->appairageEnCours()) return;
  if (chercheur_->resultat().cas != ChercheurRavlo::Resultat::Cas::accepte)
    chercheur_->changerResultat({});
}

bool ModeleLink::envoiPerturbe() const {
  const DiffusionModel& d = *diffusion_;
  switch (d.etat().cas) {
    case DiffusionModel::Etat::Cas::echec:
      return true;
    case DiffusionModel::Etat::Cas::diffusion:
      return d.captureMuette() || std::ranges::any_of(d.pieces(), [](const auto& p) {
               return ennuiPiece(p.voie) != EnnuiPiece::aucun;
             });
    case DiffusionModel::Etat::Cas::pret:
      return false;
  }
  return false;
}

EnnuiPiece ennuiPiece(const VoieEmission::Statistiques& voie) {
  if (voie.erreur) return EnnuiPiece::reseau;
  return voie.connexionPrete && voie.recepteurMuet ? EnnuiPiece::recepteurMuet : EnnuiPiece::aucun;
}

EtatIcone etatIcone(const ModeleLink& modele) {
  if (modele.envoiPerturbe()) return EtatIcone::probleme;
  return modele.diffusion().enDiffusion() ? EtatIcone::envoi : EtatIcone::repos;
}

}  // namespace ravlo
