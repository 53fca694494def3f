#include "link/diffusion/diffusion_model.hpp"

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

std::string DiffusionModel::locale() const {
  return dep_.locale ? dep_.locale() : localeCourante();
}

void DiffusionModel::demarrer(const PointReseau& point, const Liaison& liaison) {
  // Deux suivis, deux émetteurs : une diffusion en cours cède d'abord la place.
  if (diffusion_) diffusion_->arreter();
  auto diffusion =
      Diffusion::creer({dep_.principal, dep_.fileEmetteur, dep_.connexions, dep_.horloge, true},
                       sourceCapture(dep_.capture, nEntendreQueLeRecepteur_), point, liaison);
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
  diffusion_ = std::move(diffusion);
  statistiques_ = {};
  reglageSilenceRefuse_ = false;
  etat_ = Etat{Etat::Cas::diffusion, {}};
  prevenir();
}

void DiffusionModel::surFin(Diffusion::Fin fin) {
  arreter();
  if (quandRecepteurArrete_)
    quandRecepteurArrete_(fin == Diffusion::Fin::parRecepteur ? Fin::parRecepteur
                                                              : Fin::injoignable);
}

void DiffusionModel::arreter() {
  if (diffusion_) diffusion_->arreter();
  diffusion_.reset();
  if (etat_.cas != Etat::Cas::echec) changer(etat_, Etat{Etat::Cas::pret, {}});
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
