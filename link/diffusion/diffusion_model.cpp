#include "link/diffusion/diffusion_model.hpp"

#include "link/capture/texte_erreur_capture.hpp"
#include "plateforme/systeme.hpp"
#include "protocol/base/exiger.hpp"

namespace ravlo {

std::shared_ptr<DiffusionModel> DiffusionModel::creer(Dependances dependances) {
  return std::shared_ptr<DiffusionModel>(new DiffusionModel(std::move(dependances)));
}

DiffusionModel::DiffusionModel(Dependances dependances) : dep_(std::move(dependances)) {
  RAVLO_EXIGER(dep_.principal != nullptr && dep_.capture && dep_.reglages != nullptr);
  nEntendreQueLIPhone_ = dep_.reglages->booleen(cleSilence);
}

DiffusionModel::~DiffusionModel() {
  if (suivi_) *suivi_ = true;
  if (emetteur_) emetteur_->arreter();
}

std::string DiffusionModel::locale() const {
  return dep_.locale ? dep_.locale() : localeCourante();
}

void DiffusionModel::demarrer(const PointReseau& point, const Liaison& liaison) {
  // Deux suivis, deux émetteurs : une diffusion en cours cède d'abord la place.
  if (enDiffusion()) arreter();
  auto tampon = std::make_shared<TamponAudio>(capaciteTampon);
  auto tap = std::make_unique<CaptureSysteme>(tampon, nEntendreQueLIPhone_, dep_.capture());
  if (const auto demarrage = tap->demarrer(); !demarrage.has_value()) {
    tap->arreter();
    changer(etat_, Etat{Etat::Cas::echec, texteErreurCapture(demarrage.error(), locale())});
    return;
  }
  changer(numeroEnvoi_, numeroEnvoi_ + 1);
  const std::int64_t n = numeroEnvoi_;
  auto emetteur = EmetteurAudio::creer(
      tampon, point, liaison, rappelFin(n, Fin::parLIPhone), rappelFin(n, Fin::injoignable),
      EmetteurAudio::Plateforme{dep_.fileEmetteur, dep_.connexions, dep_.horloge, locale()});
  emetteur->demarrer();

  tap_ = std::move(tap);
  tampon_ = std::move(tampon);
  noterCaptureNeuve(maintenant());
  relancesSansEffet_ = 0;
  emetteur_ = std::move(emetteur);

  changer(captureMuette_, false);
  changer(capturesRelancees_, std::int64_t{0});
  debut_ = maintenant();
  changer(paquetsEnvoyes_, std::int64_t{0});
  changer(octetsJetes_, std::int64_t{0});
  changer(paquetsSansHeure_, std::int64_t{0});
  changer(duree_, 0.0);
  changer(erreurReseau_, std::optional<std::string>());
  changer(iPhoneMuet_, false);
  changer(connexionsRefaites_, std::int64_t{0});
  changer(connexionPrete_, false);
  changer(etat_, Etat{Etat::Cas::diffusion, {}});

  suivi_ = std::make_shared<bool>(false);
  planifierSuivi(suivi_);
}

Tache DiffusionModel::rappelFin(std::int64_t numero, Fin fin) {
  // Sur la file de l'émetteur : seulement passer au fil principal.
  return [faible = weak_from_this(), principal = dep_.principal, numero, fin] {
    principal->poster([faible, numero, fin] {
      if (const auto moi = faible.lock()) moi->surFinEmetteur(numero, fin);
    });
  };
}

void DiffusionModel::surFinEmetteur(std::int64_t numero, Fin fin) {
  if (!enDiffusion() || numero != numeroEnvoi_) return;
  arreter();
  if (quandLIPhoneArrete_) quandLIPhoneArrete_(fin);
}

void DiffusionModel::arreter() {
  if (suivi_) *suivi_ = true;
  suivi_.reset();
  if (emetteur_) emetteur_->arreter();
  emetteur_.reset();
  if (tap_) tap_->arreter();
  tap_.reset();
  tampon_.reset();
  debutCapture_.reset();
  debut_.reset();
  if (etat_.cas != Etat::Cas::echec) changer(etat_, Etat{Etat::Cas::pret, {}});
}

void DiffusionModel::planifierSuivi(const std::shared_ptr<bool>& annule) {
  dep_.principal->posterApres(periodeSuivi, [faible = weak_from_this(), annule] {
    if (*annule) return;
    const auto moi = faible.lock();
    if (!moi || !moi->emetteur_) return;
    moi->suivre();
    if (!*annule) moi->planifierSuivi(annule);
  });
}

void DiffusionModel::suivre() {
  const EmetteurAudio::Statistiques s = emetteur_->compteurs();
  changer(paquetsEnvoyes_, s.paquetsEnvoyes);
  changer(octetsJetes_, s.octetsJetes);
  changer(paquetsSansHeure_, s.paquetsSansHeureDeCapture);
  changer(connexionPrete_, s.connexionPrete);
  changer(erreurReseau_, s.erreur);
  changer(iPhoneMuet_, s.iPhoneMuet);
  changer(connexionsRefaites_, s.connexionsRefaites);
  changer(pireAttenteMs_, s.pireAttenteMs);
  changer(duree_, debut_ ? static_cast<double>(maintenant() - *debut_) / 1e9 : 0.0);
  verifierCapture();
}

void DiffusionModel::noterCaptureNeuve(InstantNs debut) {
  debutCapture_ = debut;
  tramesVues_ = 0;
  tramesVuesNs_ = debut;
}

void DiffusionModel::verifierCapture() {
  if (!tap_ || !tampon_ || !debutCapture_ || captureMuette_) return;
  const InstantNs t = maintenant();
  // Une capture en panne (serveur de son relancé, sortie partie sans relève) ne livrera plus
  // rien : relancée aussitôt, sans attendre le délai. Une capture qui s'est tue sans le dire
  // n'est trahie que par le compte de trames qui n'avance plus ; une sortie au repos, elle,
  // livre encore du silence.
  const bool enPanne = tap_->echec().has_value();
  if (const std::int64_t trames = tap_->livraisons().trames; !enPanne && trames != tramesVues_) {
    tramesVues_ = trames;
    tramesVuesNs_ = t;
    relancesSansEffet_ = 0;
    return;
  }
  if (!enPanne &&
      t - tramesVuesNs_ < static_cast<InstantNs>(std::chrono::nanoseconds(delaiSansTrame).count()))
    return;
  if (relancesSansEffet_ >= relancesMax) {
    changer(captureMuette_, true);
    return;
  }
  tap_->arreter();
  auto nouvelle = std::make_unique<CaptureSysteme>(tampon_, nEntendreQueLIPhone_, dep_.capture());
  if (!nouvelle->demarrer().has_value()) {
    nouvelle->arreter();
    changer(captureMuette_, true);
    return;
  }
  tap_ = std::move(nouvelle);
  noterCaptureNeuve(maintenant());
  ++relancesSansEffet_;
  changer(capturesRelancees_, capturesRelancees_ + 1);
}

void DiffusionModel::changerNEntendreQueLIPhone(bool valeur, bool toujoursPrevenir) {
  const bool change = nEntendreQueLIPhone_ != valeur;
  nEntendreQueLIPhone_ = valeur;
  dep_.reglages->ecrireBooleen(cleSilence, valeur);
  const bool refuse = tap_ ? !tap_->changerSilence(valeur) : false;
  changer(reglageSilenceRefuse_, refuse);
  if (change || toujoursPrevenir) prevenir();
}

}  // namespace ravlo
