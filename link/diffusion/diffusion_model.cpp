// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/diffusion_model.hpp"

#include <algorithm>

#include "link/capture/texte_erreur_capture.hpp"
#include "plateforme/systeme.hpp"
#include "protocol/base/exiger.hpp"

namespace ravlo {
namespace {

// L'ancienne clé n'est lue que tant que la nouvelle manque : la recopier suffit à la délaisser.
bool lireSilence(MagasinReglages& reglages) {
  if (const auto valeur = reglages.lireBooleen(DiffusionModel::cleSilence)) return *valeur;
  const auto ancienne = reglages.lireBooleen(DiffusionModel::cleSilenceAncienne);
  if (ancienne) reglages.ecrireBooleen(DiffusionModel::cleSilence, *ancienne);
  return ancienne.value_or(false);
}

}  // namespace

std::shared_ptr<DiffusionModel> DiffusionModel::creer(Dependances dependances) {
  return std::shared_ptr<DiffusionModel>(new DiffusionModel(std::move(dependances)));
}

DiffusionModel::DiffusionModel(Dependances dependances) : dep_(std::move(dependances)) {
  RAVLO_EXIGER(dep_.principal != nullptr && dep_.capture && dep_.reglages != nullptr);
  nEntendreQueLeRecepteur_ = lireSilence(*dep_.reglages);
}

DiffusionModel::~DiffusionModel() {
  if (diffusion_) diffusion_->arreter();
}

bool DiffusionModel::connexionPrete() const {
  return !statistiques_.pieces.empty() && statistiques_.pieces.front().voie.connexionPrete;
}

bool DiffusionModel::recepteurMuet() const {
  return !statistiques_.pieces.empty() && statistiques_.pieces.front().voie.recepteurMuet;
}

std::string DiffusionModel::locale() const {
  return dep_.locale ? dep_.locale() : localeCourante();
}

namespace {

DiffusionModel::Fin finDuRecepteur(Diffusion::Fin fin) {
  return fin == Diffusion::Fin::parRecepteur ? DiffusionModel::Fin::parRecepteur
                                             : DiffusionModel::Fin::injoignable;
}

}  // namespace

void DiffusionModel::demarrer(const PointReseau& point, const Liaison& liaison, std::string nom) {
  // Deux suivis, deux émetteurs : une diffusion en cours cède d'abord la place.
  if (diffusion_) diffusion_->arreter();
  auto diffusion = Diffusion::creer(
      {dep_.principal, dep_.fileEmetteur, dep_.connexions, dep_.horloge, true},
      sourceCapture(dep_.capture, nEntendreQueLeRecepteur_), point, liaison, std::move(nom));
  if (const auto demarrage = diffusion->demarrer(); !demarrage) {
    diffusion_.reset();
    changer(etat_, Etat{Etat::Cas::echec, texteErreurCapture(demarrage.error(), locale())});
    return;
  }
  // Une diffusion finie ne parle plus : ses rappels tiennent le modèle sans le garder.
  diffusion->quandFin([faible = weak_from_this()](Diffusion::Fin fin) {
    if (const auto moi = faible.lock()) moi->surFin(fin);
  });
  diffusion->quandChange([faible = weak_from_this(), d = diffusion.get()] {
    const auto moi = faible.lock();
    if (moi && moi->diffusion_.get() == d) moi->changer(moi->statistiques_, d->statistiques());
  });
  diffusion->quandPieceFinie(
      [faible = weak_from_this(), d = diffusion.get()](Diffusion::NumeroPiece n, Diffusion::Fin f) {
        const auto moi = faible.lock();
        if (moi && moi->diffusion_.get() == d) moi->surPieceFinie(n, f);
      });
  diffusion_ = std::move(diffusion);
  statistiques_ = diffusion_->releve();
  pieceFinie_.reset();
  reglageSilenceRefuse_ = false;
  etat_ = Etat{Etat::Cas::diffusion, {}};
  prevenir();
}

void DiffusionModel::surFin(Diffusion::Fin fin) {
  // Lu avant l'arrêt, qui lâche la diffusion : la dernière pièce reste la seule en service.
  std::string prisPar;
  if (diffusion_) {
    if (const auto pieces = diffusion_->releve().pieces; !pieces.empty())
      prisPar = pieces.front().voie.prisPar.value_or("");
  }
  arreter();
  if (quandRecepteurArrete_) quandRecepteurArrete_(finDuRecepteur(fin), prisPar);
}

void DiffusionModel::surPieceFinie(Diffusion::NumeroPiece numero, Diffusion::Fin fin) {
  // La diffusion l'a déjà oubliée : son nom vient du dernier relevé, qui la tenait encore.
  const auto piece =
      std::ranges::find(statistiques_.pieces, numero, &Diffusion::StatistiquesPiece::numero);
  const auto compteurs = diffusion_->compteursPiece(numero);
  pieceFinie_ =
      PieceFinie{piece != statistiques_.pieces.end() ? piece->nom : std::string(),
                 finDuRecepteur(fin), compteurs ? compteurs->prisPar.value_or("") : std::string()};
  releverPieces();
}

void DiffusionModel::arreter() {
  if (diffusion_) diffusion_->arreter();
  diffusion_.reset();
  pieceFinie_.reset();
  if (etat_.cas != Etat::Cas::echec) changer(etat_, Etat{Etat::Cas::pret, {}});
}

std::optional<Diffusion::NumeroPiece> DiffusionModel::ajouterPiece(const PointReseau& point,
                                                                   const Liaison& liaison,
                                                                   std::string nom) {
  if (!diffusion_) return std::nullopt;
  const auto numero = diffusion_->ajouterPiece(point, liaison, std::move(nom));
  pieceFinie_.reset();
  releverPieces();
  return numero;
}

void DiffusionModel::retirerPiece(Diffusion::NumeroPiece numero) {
  if (!diffusion_) return;
  const auto enService = diffusion_->releve().pieces;
  if (std::ranges::find(enService, numero, &Diffusion::StatistiquesPiece::numero) ==
      enService.end())
    return;
  // La Diffusion finirait « par le récepteur » : ce serait dire que le récepteur a arrêté.
  if (enService.size() == 1) return arreter();
  diffusion_->retirerPiece(numero);
  pieceFinie_.reset();
  releverPieces();
}

void DiffusionModel::releverPieces() {
  statistiques_ = diffusion_->releve();
  prevenir();
}

void DiffusionModel::oublierEchec() {
  if (etat_.cas == Etat::Cas::echec) changer(etat_, Etat{Etat::Cas::pret, {}});
}

void DiffusionModel::changerNEntendreQueLeRecepteur(bool valeur, bool toujoursPrevenir) {
  const bool change = nEntendreQueLeRecepteur_ != valeur;
  nEntendreQueLeRecepteur_ = valeur;
  dep_.reglages->ecrireBooleen(cleSilence, valeur);
  const bool refuse = diffusion_ ? !diffusion_->changerSilence(valeur) : false;
  const bool refusChange = refuse != reglageSilenceRefuse_;
  reglageSilenceRefuse_ = refuse;
  if (change || refusChange || toujoursPrevenir) prevenir();
}

}  // namespace ravlo
