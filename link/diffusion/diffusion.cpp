#include "link/diffusion/diffusion.hpp"

#include "protocol/base/exiger.hpp"

namespace ravlo {

std::shared_ptr<Diffusion> Diffusion::creer(Dependances dependances, const FabriqueSource& source,
                                            PointReseau point, Liaison liaison) {
  return std::shared_ptr<Diffusion>(
      new Diffusion(std::move(dependances), source, std::move(point), std::move(liaison)));
}

Diffusion::Diffusion(Dependances dependances, const FabriqueSource& source, PointReseau point,
                     Liaison liaison)
    : dep_(std::move(dependances)),
      tampon_(std::make_shared<TamponAudio>(capaciteTampon)),
      source_(source(tampon_)),
      point_(std::move(point)),
      liaison_(std::move(liaison)) {
  RAVLO_EXIGER(dep_.principal != nullptr && source_ != nullptr);
}

Diffusion::~Diffusion() {
  arreter();
}

std::expected<void, ErreurCapture> Diffusion::demarrer() {
  RAVLO_EXIGER(!enCours_ && !emetteur_);  // une diffusion ne sert qu'une fois
  if (auto demarrage = source_->demarrer(); !demarrage) {
    source_->arreter();
    return demarrage;
  }
  emetteur_ = EmetteurAudio::creer(
      tampon_, point_, liaison_, rappelFin(Fin::parRecepteur), rappelFin(Fin::injoignable),
      EmetteurAudio::Plateforme{dep_.fileEmetteur, dep_.connexions, dep_.horloge});
  emetteur_->demarrer();
  enCours_ = true;
  debut_ = maintenant();
  tramesVuesNs_ = debut_;
  planifierSuivi();
  return {};
}

void Diffusion::arreter() {
  if (!enCours_) return;
  enCours_ = false;
  emetteur_->arreter();
  source_->arreter();
}

Diffusion::Statistiques Diffusion::releve() const {
  Statistiques s = statistiques_;
  if (emetteur_) s.emetteur = emetteur_->compteurs();
  if (enCours_) {
    s.duree = static_cast<double>(maintenant() - debut_) / 1e9;
    s.trames = source_->trames();
  }
  return s;
}

Tache Diffusion::rappelFin(Fin fin) {
  // Sur la file de l'émetteur : seulement passer au fil principal.
  return [faible = weak_from_this(), principal = dep_.principal, fin] {
    principal->poster([faible, fin] {
      if (const auto moi = faible.lock(); moi && moi->enCours_) moi->finir(fin);
    });
  };
}

void Diffusion::finir(Fin fin) {
  arreter();
  if (quandFin_) quandFin_(fin);
}

void Diffusion::planifierSuivi() {
  dep_.principal->posterApres(periodeSuivi, [faible = weak_from_this()] {
    const auto moi = faible.lock();
    if (!moi || !moi->enCours_) return;
    moi->suivre();
    if (moi->enCours_) moi->planifierSuivi();
  });
}

void Diffusion::suivre() {
  Statistiques s = releve();
  const auto fin = surveillerSource(maintenant(), s);
  // Le dernier relevé se voit avant la fin.
  if (s != statistiques_) {
    statistiques_ = s;
    if (quandChange_) quandChange_();
  }
  if (fin) finir(*fin);
}

std::optional<Diffusion::Fin> Diffusion::surveillerSource(InstantNs t, Statistiques& s) {
  if (source_->epuisee()) {
    if (tampon_->disponible() >= EmetteurAudio::octetsParPaquet) return std::nullopt;
    return Fin::sourceEpuisee;
  }
  if (s.sourceMuette) return std::nullopt;
  // Une source en panne (serveur de son relancé, sortie partie sans relève) ne livrera plus
  // rien : relancée aussitôt, sans attendre le délai. Une source qui s'est tue sans le dire
  // n'est trahie que par le compte de trames qui n'avance plus ; une sortie au repos, elle,
  // livre encore du silence.
  const bool enPanne = source_->panne().has_value();
  if (enPanne && !dep_.relancerSource) {
    panneFinale_ = source_->panne();
    return Fin::sourceEnPanne;
  }
  if (!enPanne && s.trames != tramesVues_) {
    tramesVues_ = s.trames;
    tramesVuesNs_ = t;
    relancesSansEffet_ = 0;
    return std::nullopt;
  }
  if (!dep_.relancerSource ||
      (!enPanne && t - tramesVuesNs_ <
                       static_cast<InstantNs>(std::chrono::nanoseconds(delaiSansTrame).count())))
    return std::nullopt;
  if (relancesSansEffet_ >= relancesMax || !source_->relancer()) {
    s.sourceMuette = true;
    return std::nullopt;
  }
  tramesVues_ = 0;
  tramesVuesNs_ = maintenant();
  s.trames = 0;
  ++relancesSansEffet_;
  ++s.sourcesRelancees;
  return std::nullopt;
}

}  // namespace ravlo
