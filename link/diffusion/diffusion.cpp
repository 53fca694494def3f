// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/diffusion.hpp"

#include <algorithm>
#include <ranges>
#include <utility>

#include "protocol/base/exiger.hpp"

namespace ravlo {

std::shared_ptr<Diffusion> Diffusion::creer(Dependances dependances, const FabriqueSource& source,
                                            PointReseau point, Liaison liaison, std::string nom) {
  auto diffusion = std::shared_ptr<Diffusion>(new Diffusion(std::move(dependances), source));
  diffusion->ajouterPiece(std::move(point), std::move(liaison), std::move(nom));
  return diffusion;
}

Diffusion::Diffusion(Dependances dependances, const FabriqueSource& source)
    : dep_(std::move(dependances)),
      tampon_(std::make_shared<TamponAudio>(capaciteTampon)),
      source_(source(tampon_)) {
  RAVLO_EXIGER(dep_.principal != nullptr && source_ != nullptr);
}

Diffusion::~Diffusion() {
  arreter();
}

std::expected<void, ErreurCapture> Diffusion::demarrer() {
  RAVLO_EXIGER(etape_ == Etape::preparee);  // une diffusion ne sert qu'une fois
  RAVLO_EXIGER(!pieces_.empty());
  if (auto demarrage = source_->demarrer(); !demarrage) {
    source_->arreter();
    return demarrage;
  }
  Piece& premiere = pieces_.front();
  emetteur_ = EmetteurAudio::creer(
      tampon_, premiere.point, premiere.liaison, rappelFin(premiere.numero, Fin::parRecepteur),
      rappelFin(premiere.numero, Fin::injoignable),
      EmetteurAudio::Plateforme{dep_.fileEmetteur, dep_.connexions, dep_.horloge});
  // Avant `demarrer` de l'émetteur : toutes partent au même bloc.
  for (Piece& p : pieces_ | std::views::drop(1)) {
    p.voie = emetteur_->ajouterVoie(p.point, p.liaison, rappelFin(p.numero, Fin::parRecepteur),
                                    rappelFin(p.numero, Fin::injoignable));
  }
  emetteur_->demarrer();
  etape_ = Etape::enCours;
  debut_ = maintenant();
  tramesVuesNs_ = debut_;
  planifierSuivi();
  return {};
}

void Diffusion::arreter() {
  if (etape_ != Etape::enCours) return;
  etape_ = Etape::finie;
  emetteur_->arreter();
  source_->arreter();
}

Diffusion::NumeroPiece Diffusion::ajouterPiece(PointReseau point, Liaison liaison,
                                               std::string nom) {
  const NumeroPiece numero = prochainePiece_++;
  if (etape_ == Etape::finie) return numero;
  Piece piece{numero, std::move(nom), std::move(point), std::move(liaison), 0};
  if (etape_ == Etape::enCours) {
    piece.voie =
        emetteur_->ajouterVoie(piece.point, piece.liaison, rappelFin(numero, Fin::parRecepteur),
                               rappelFin(numero, Fin::injoignable));
  }
  pieces_.push_back(std::move(piece));
  return numero;
}

void Diffusion::retirerPiece(NumeroPiece numero) {
  const auto piece = std::ranges::find(pieces_, numero, &Piece::numero);
  if (piece == pieces_.end() || etape_ == Etape::finie) return;
  if (etape_ == Etape::enCours) {
    if (pieces_.size() == 1) return finir(Fin::parRecepteur);
    emetteur_->retirerVoie(piece->voie);
  }
  pieces_.erase(piece);
}

Diffusion::Statistiques Diffusion::releve() const {
  Statistiques s = statistiques_;
  s.pieces.clear();
  std::vector<EmetteurAudio::CompteursVoie> voies;
  if (etape_ != Etape::preparee) {
    s.emetteur = emetteur_->compteurs();
    voies = emetteur_->compteursVoies();
  }
  for (const Piece& p : pieces_) {
    StatistiquesPiece sp{p.numero, p.nom, p.point, {}};
    // Une voie pas encore ajoutée sur la file de l'émetteur n'a rien compté.
    const auto v = std::ranges::find(voies, p.voie, &EmetteurAudio::CompteursVoie::id);
    if (v != voies.end()) sp.voie = v->compteurs;
    s.pieces.push_back(std::move(sp));
  }
  if (etape_ == Etape::enCours) {
    s.duree = static_cast<double>(maintenant() - debut_) / 1e9;
    s.trames = source_->trames();
  }
  return s;
}

std::optional<VoieEmission::Statistiques> Diffusion::compteursPiece(NumeroPiece numero) const {
  if (etape_ == Etape::preparee) return std::nullopt;
  for (const auto* liste : {&pieces_, &finies_}) {
    const auto p = std::ranges::find(*liste, numero, &Piece::numero);
    if (p != liste->end()) return emetteur_->compteursVoie(p->voie);
  }
  return std::nullopt;
}

Tache Diffusion::rappelFin(NumeroPiece numero, Fin fin) {
  // Sur la file de l'émetteur : seulement passer au fil principal.
  return [faible = weak_from_this(), principal = dep_.principal, numero, fin] {
    principal->poster([faible, numero, fin] {
      if (const auto moi = faible.lock(); moi && moi->enCours()) moi->finirPiece(numero, fin);
    });
  };
}

void Diffusion::finirPiece(NumeroPiece numero, Fin fin) {
  const auto piece = std::ranges::find(pieces_, numero, &Piece::numero);
  if (piece == pieces_.end()) return;  // déjà retirée par le propriétaire
  if (pieces_.size() == 1) return finir(fin);
  // Sans ses clés, qui n'ont plus à vivre : seulement de quoi relire ses compteurs.
  finies_.push_back({numero, std::move(piece->nom), {}, {}, piece->voie});
  pieces_.erase(piece);
  if (quandPieceFinie_) quandPieceFinie_(numero, fin);
}

void Diffusion::finir(Fin fin) {
  arreter();
  if (quandFin_) quandFin_(fin);
}

void Diffusion::planifierSuivi() {
  dep_.principal->posterApres(periodeSuivi, [faible = weak_from_this()] {
    const auto moi = faible.lock();
    if (!moi || !moi->enCours()) return;
    moi->suivre();
    if (moi->enCours()) moi->planifierSuivi();
  });
}

void Diffusion::suivre() {
  Statistiques s = releve();
  const auto fin = surveillerSource(maintenant(), s);
  // Le dernier relevé se voit avant la fin.
  if (s != statistiques_) {
    const std::vector<StatistiquesPiece> avant = std::exchange(statistiques_, s).pieces;
    if (quandChange_) quandChange_();
    direSilences(avant);
  }
  if (fin) finir(*fin);
}

void Diffusion::direSilences(const std::vector<StatistiquesPiece>& avant) {
  if (!quandSilence_) return;
  // Une copie : le rappel peut retirer une pièce, ou arrêter la diffusion.
  const std::vector<StatistiquesPiece> pieces = statistiques_.pieces;
  for (const StatistiquesPiece& p : pieces) {
    const auto vu = std::ranges::find(avant, p.numero, &StatistiquesPiece::numero);
    const bool avantMuette = vu != avant.end() && vu->voie.recepteurMuet;
    if (p.voie.recepteurMuet != avantMuette) quandSilence_(p.numero, p.voie.recepteurMuet);
  }
}

std::optional<Diffusion::Fin> Diffusion::surveillerSource(InstantNs t, Statistiques& s) {
  if (source_->epuisee()) {
    if (tampon_->disponible() >= static_cast<std::int64_t>(flux::octetsParPaquet))
      return std::nullopt;
    return Fin::sourceEpuisee;
  }
  // Une source en panne (serveur de son relancé, sortie partie sans relève) ne livrera plus
  // rien : relancée aussitôt, sans attendre le délai. Une source qui s'est tue sans le dire
  // n'est trahie que par le compte de trames qui n'avance plus ; une sortie au repos, elle,
  // livre encore du silence.
  // Une relance refusée (serveur absent) laisse une source qui n'a rien démarré : en panne
  // elle aussi, elle se réessaie au rythme de l'attente, sans le délai d'une source muette.
  const bool enPanne = source_->panne().has_value() || relanceRefusee_;
  if (enPanne && !dep_.relancerSource) {
    panneFinale_ = source_->panne();
    return Fin::sourceEnPanne;
  }
  if (!enPanne && s.trames != tramesVues_) {
    tramesVues_ = s.trames;
    tramesVuesNs_ = t;
    relancesSansEffet_ = 0;
    attenteRelance_.reussie();
    s.sourceMuette = false;
    return std::nullopt;
  }
  if (!dep_.relancerSource ||
      (!enPanne && t - tramesVuesNs_ <
                       static_cast<InstantNs>(std::chrono::nanoseconds(delaiSansTrame).count())))
    return std::nullopt;
  // Le serveur peut manquer longtemps (arrêté, relancé) : on réessaie tant que dure l'envoi,
  // de plus en plus rarement, et le son revient de lui-même avec lui.
  if (!attenteRelance_.aEssayer(t)) return std::nullopt;
  attenteRelance_.essaye(t);
  const bool relancee = source_->relancer().has_value();
  relanceRefusee_ = !relancee;
  // Une capture qui n'a pas démarré ne compte rien : le compte repart de zéro dans tous les cas.
  tramesVues_ = 0;
  s.trames = 0;
  if (relancee) tramesVuesNs_ = maintenant();
  ++s.sourcesRelancees;
  if (++relancesSansEffet_ > relancesMax || !relancee) s.sourceMuette = true;
  return std::nullopt;
}

}  // namespace ravlo
