// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/emetteur_audio.hpp"

#include <algorithm>

namespace ravlo {

std::shared_ptr<EmetteurAudio> EmetteurAudio::creer(std::shared_ptr<TamponAudio> tampon,
                                                    PointReseau point, Liaison liaison,
                                                    Tache quandRecepteurArrete,
                                                    Tache quandRecepteurEstInjoignable,
                                                    Plateforme plateforme) {
  auto moi =
      std::shared_ptr<EmetteurAudio>(new EmetteurAudio(std::move(tampon), std::move(plateforme)));
  // Après la construction : les rappels de la voie tiennent l'émetteur par un weak_ptr.
  auto voie =
      moi->nouvelleVoie(std::move(point), std::move(liaison), std::move(quandRecepteurArrete),
                        std::move(quandRecepteurEstInjoignable), moi->plateforme_.premiereSequence);
  Garde garde(moi->verrou_);
  moi->voies_.push_back(std::move(voie));
  return moi;
}

EmetteurAudio::EmetteurAudio(std::shared_ptr<TamponAudio> tampon, Plateforme plateforme)
    : tampon_(std::move(tampon)), plateforme_(std::move(plateforme)) {}

EmetteurAudio::~EmetteurAudio() {
  // Dernière référence lâchée, peut-être hors de la file : l'annulation y est sûre, et
  // chaque voie annule sa connexion en disparaissant.
  if (minuteur_) minuteur_->annuler();
  // L'anneau ne sonne plus ce réveil, qui disparaît avec l'émetteur.
  if (reveil_) tampon_->brancherReveil(nullptr, 0);
}

void EmetteurAudio::demarrer() {
  plateforme_.file->poster([moi = shared_from_this()] { moi->demarrerSurLaFile(); });
}

void EmetteurAudio::arreter() {
  plateforme_.file->poster([moi = shared_from_this()] { moi->arreterSurLaFile(); });
}

EmetteurAudio::VoieEnService EmetteurAudio::nouvelleVoie(PointReseau point, Liaison liaison,
                                                         Tache quandRecepteurArrete,
                                                         Tache quandRecepteurEstInjoignable,
                                                         std::uint32_t premiereSequence) {
  IdVoie id = 0;
  {
    Garde garde(verrou_);
    id = prochaineVoie_++;
  }
  // Retirée avant que son propriétaire l'apprenne : qui relit alors les voies en service ne
  // la voit plus.
  const auto finie = [faible = weak_from_this(), id](Tache rappel) -> Tache {
    return [faible, id, rappel = std::move(rappel)] {
      if (const auto moi = faible.lock()) moi->retirer(id);
      rappel();
    };
  };
  return {id,
          VoieEmission::creer(
              std::move(point), std::move(liaison), finie(std::move(quandRecepteurArrete)),
              finie(std::move(quandRecepteurEstInjoignable)),
              {plateforme_.file, plateforme_.connexions, plateforme_.horloge, premiereSequence})};
}

EmetteurAudio::IdVoie EmetteurAudio::ajouterVoie(PointReseau point, Liaison liaison,
                                                 Tache quandRecepteurArrete,
                                                 Tache quandRecepteurEstInjoignable) {
  // Un émetteur déjà arrêté ne servira pas la voie : elle renonce aussitôt, pour que son
  // propriétaire ne l'attende pas.
  Tache renonce = quandRecepteurEstInjoignable;
  auto voie = nouvelleVoie(std::move(point), std::move(liaison), std::move(quandRecepteurArrete),
                           std::move(quandRecepteurEstInjoignable), 0);
  const IdVoie id = voie.id;
  plateforme_.file->poster(
      [moi = shared_from_this(), voie = std::move(voie), renonce = std::move(renonce)] {
        if (moi->etape_ == Etape::arrete) return renonce();
        {
          Garde garde(moi->verrou_);
          moi->voies_.push_back(voie);
        }
        // Pas encore démarré : `demarrerSurLaFile` l'ouvrira avec les autres.
        if (moi->etape_ == Etape::demarre) voie.voie->ouvrir();
      });
  return id;
}

void EmetteurAudio::retirerVoie(IdVoie id) {
  plateforme_.file->poster([moi = shared_from_this(), id] { moi->retirer(id); });
}

EmetteurAudio::Statistiques EmetteurAudio::compteurs() const {
  Garde garde(verrou_);
  return compteurs_;
}

std::vector<EmetteurAudio::CompteursVoie> EmetteurAudio::compteursVoies() const {
  std::vector<VoieEnService> voies;
  {
    Garde garde(verrou_);
    voies = voies_;
  }
  std::vector<CompteursVoie> s;
  s.reserve(voies.size());
  for (const auto& v : voies) s.push_back({v.id, v.voie->compteurs()});
  return s;
}

std::optional<VoieEmission::Statistiques> EmetteurAudio::compteursVoie(IdVoie id) const {
  std::shared_ptr<VoieEmission> enService;
  {
    Garde garde(verrou_);
    if (const auto v = std::ranges::find(voies_, id, &VoieEnService::id); v != voies_.end()) {
      enService = v->voie;
    } else if (const auto r = std::ranges::find(retirees_, id, &CompteursVoie::id);
               r != retirees_.end()) {
      return r->compteurs;
    }
  }
  if (!enService) return std::nullopt;
  return enService->compteurs();
}

void EmetteurAudio::demarrerSurLaFile() {
  if (etape_ != Etape::cree) return;
  etape_ = Etape::demarre;
  std::vector<VoieEnService> voies;
  {
    Garde garde(verrou_);
    voies = voies_;
  }
  for (const auto& v : voies) v.voie->ouvrir();
  std::weak_ptr<EmetteurAudio> faible = weak_from_this();
  const auto envoyer = [faible] {
    if (const auto moi = faible.lock()) moi->envoyerBlocs();
  };
  reveil_ = plateforme_.file->reveil(envoyer);
  tampon_->brancherReveil(reveil_.get(), flux::octetsParPaquet);
  // Premier tir tout de suite : ce que la source a écrit avant le branchement part aussi.
  minuteur_ = plateforme_.file->repeter(periodeVeille, std::chrono::milliseconds(10), envoyer);
}

void EmetteurAudio::arreterSurLaFile() {
  etape_ = Etape::arrete;
  if (minuteur_) minuteur_->annuler();
  minuteur_.reset();
  if (reveil_) tampon_->brancherReveil(nullptr, 0);
  reveil_.reset();
  std::vector<VoieEnService> voies;
  {
    Garde garde(verrou_);
    voies = voies_;
  }
  for (const auto& v : voies) v.voie->fermer();
}

void EmetteurAudio::retirer(IdVoie id) {
  std::shared_ptr<VoieEmission> retiree;
  {
    Garde garde(verrou_);
    const auto v = std::ranges::find(voies_, id, &VoieEnService::id);
    if (v == voies_.end()) return;
    if (voies_.size() > 1) retiree = v->voie;
  }
  if (!retiree) return arreterSurLaFile();
  retiree->fermer();
  // Ses compteurs de l'arrêt passent aux retirées sous le même verrou : qui la cherche la trouve
  // toujours dans l'une des deux listes.
  CompteursVoie finale{id, retiree->compteurs()};
  Garde garde(verrou_);
  std::erase_if(voies_, [id](const VoieEnService& v) { return v.id == id; });
  retirees_.push_back(std::move(finale));
}

std::shared_ptr<VoieEmission> EmetteurAudio::voie(std::size_t i) const {
  Garde garde(verrou_);
  return i < voies_.size() ? voies_[i].voie : nullptr;
}

void EmetteurAudio::accorderGroupe(InstantNs t) {
  // Au rythme de la veille, pas à chaque paquet : l'accord ne change pas plus vite.
  if (accordNs_ && ecartNs(t, *accordNs_) < static_cast<std::uint64_t>(
                                                std::chrono::nanoseconds(periodeVeille).count())) {
    return;
  }
  accordNs_ = t;
  // Une pièce dont le besoin est refusé n'est pas du groupe : elle joue seule, et les autres
  // ne l'attendent pas.
  std::size_t pieces = 0;
  std::optional<std::uint64_t> besoin;
  for (std::size_t i = 0; const auto v = voie(i); ++i) {
    if (v->horsGroupe(t)) continue;
    ++pieces;
    if (const auto b = v->besoinNs(t)) besoin = std::max(besoin.value_or(0), *b);
  }
  const auto latence = accord_.accorder(pieces, besoin, t);
  if (!latence) return;
  for (std::size_t i = 0; const auto v = voie(i); ++i) {
    if (!v->horsGroupe(t)) v->annoncerGroupe(*latence, pieces);
  }
}

void EmetteurAudio::envoyerBlocs() {
  const std::int64_t perdus = tampon_->perdus();
  const InstantNs t = plateforme_.horloge->hoteNs();
  {
    Garde garde(verrou_);
    compteurs_.octetsJetes = perdus;
  }
  // Le tic ne change la liste des voies que par `retirer` ; il en lit une copie sans
  // allocation : une seule voie dans le cas courant, parcourue par index. Une voie qui
  // renonce s'est déjà retirée par son rappel : l'index désigne alors la suivante.
  for (std::size_t i = 0; minuteur_;) {
    const auto v = voie(i);
    if (!v) break;
    if (v->surveiller(t)) ++i;
  }
  if (!minuteur_) return;  // la dernière voie a renoncé
  accorderGroupe(t);

  std::int64_t sansHeure = 0;
  while (tampon_->disponible() >= static_cast<std::int64_t>(flux::octetsParPaquet)) {
    const auto bloc = tampon_->lire(std::span(pcm_));
    if (bloc.octets != static_cast<std::int64_t>(flux::octetsParPaquet)) break;
    InstantNs heure = 0;
    if (bloc.captureNs) {
      heure = *bloc.captureNs;
      // Sous Linux l'heure d'un bloc est celle où la sortie le joue, parfois un peu après T.
      if (ecartSigneNs(t, heure) > 0) pireAttenteNs_ = std::max(pireAttenteNs_, ecartNs(t, heure));
    } else {
      ++sansHeure;
      heure = plateforme_.horloge->hoteNs();
    }
    for (std::size_t i = 0; const auto v = voie(i); ++i) v->envoyer(pcm_, heure);
  }

  if (ecartNs(t, debutSecondeNs_) >= 1'000'000'000) {
    {
      Garde garde(verrou_);
      compteurs_.pireAttenteMs = static_cast<double>(pireAttenteNs_) / 1'000'000.0;
    }
    pireAttenteNs_ = 0;
    debutSecondeNs_ = t;
  }
  if (sansHeure > 0) {
    Garde garde(verrou_);
    compteurs_.paquetsSansHeureDeCapture += sansHeure;
  }
}

}  // namespace ravlo
