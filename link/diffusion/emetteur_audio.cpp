#include "link/diffusion/emetteur_audio.hpp"

#include <algorithm>

namespace ravlo {

std::shared_ptr<EmetteurAudio> EmetteurAudio::creer(std::shared_ptr<TamponAudio> tampon,
                                                    PointReseau point, Liaison liaison,
                                                    Tache quandRecepteurArrete,
                                                    Tache quandRecepteurEstInjoignable,
                                                    Plateforme plateforme) {
  return std::shared_ptr<EmetteurAudio>(new EmetteurAudio(
      std::move(tampon), std::move(point), std::move(liaison), std::move(quandRecepteurArrete),
      std::move(quandRecepteurEstInjoignable), std::move(plateforme)));
}

EmetteurAudio::EmetteurAudio(std::shared_ptr<TamponAudio> tampon, PointReseau point,
                             Liaison liaison, Tache quandRecepteurArrete,
                             Tache quandRecepteurEstInjoignable, Plateforme plateforme)
    : tampon_(std::move(tampon)),
      plateforme_(std::move(plateforme)),
      principale_(VoieEmission::creer(std::move(point), std::move(liaison),
                                      std::move(quandRecepteurArrete),
                                      std::move(quandRecepteurEstInjoignable),
                                      {plateforme_.file, plateforme_.connexions,
                                       plateforme_.horloge, plateforme_.premiereSequence})) {
  Garde garde(verrou_);
  voies_.push_back(principale_);
}

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

std::shared_ptr<VoieEmission> EmetteurAudio::nouvelleVoie(PointReseau point, Liaison liaison,
                                                          Tache quandRecepteurArrete,
                                                          Tache quandRecepteurEstInjoignable) {
  return VoieEmission::creer(std::move(point), std::move(liaison), std::move(quandRecepteurArrete),
                             std::move(quandRecepteurEstInjoignable),
                             {plateforme_.file, plateforme_.connexions, plateforme_.horloge, 0});
}

void EmetteurAudio::ajouterVoie(PointReseau point, Liaison liaison, Tache quandRecepteurArrete,
                                Tache quandRecepteurEstInjoignable) {
  auto voie = nouvelleVoie(std::move(point), std::move(liaison), std::move(quandRecepteurArrete),
                           std::move(quandRecepteurEstInjoignable));
  plateforme_.file->poster([moi = shared_from_this(), voie] {
    if (!moi->demarre_) return;
    {
      Garde garde(moi->verrou_);
      moi->voies_.push_back(voie);
    }
    voie->ouvrir();
  });
}

EmetteurAudio::Statistiques EmetteurAudio::compteurs() const {
  const VoieEmission::Statistiques v = principale_->compteurs();
  Garde garde(verrou_);
  Statistiques s = compteurs_;
  s.paquetsEnvoyes = v.paquetsEnvoyes;
  s.connexionPrete = v.connexionPrete;
  s.erreur = v.erreur;
  s.recepteurMuet = v.recepteurMuet;
  s.connexionsRefaites = v.connexionsRefaites;
  s.blocsJetes = v.blocsJetes;
  return s;
}

std::vector<VoieEmission::Statistiques> EmetteurAudio::compteursVoies() const {
  std::vector<std::shared_ptr<VoieEmission>> voies;
  {
    Garde garde(verrou_);
    voies = voies_;
  }
  std::vector<VoieEmission::Statistiques> s;
  s.reserve(voies.size());
  for (const auto& v : voies) s.push_back(v->compteurs());
  return s;
}

void EmetteurAudio::demarrerSurLaFile() {
  if (demarre_) return;
  demarre_ = true;
  principale_->ouvrir();
  std::weak_ptr<EmetteurAudio> faible = weak_from_this();
  const auto envoyer = [faible] {
    if (const auto moi = faible.lock()) moi->envoyerBlocs();
  };
  reveil_ = plateforme_.file->reveil(envoyer);
  tampon_->brancherReveil(reveil_.get(), octetsParPaquet);
  // Premier tir tout de suite : ce que la source a écrit avant le branchement part aussi.
  minuteur_ = plateforme_.file->repeter(periodeVeille, std::chrono::milliseconds(10), envoyer);
}

void EmetteurAudio::arreterSurLaFile() {
  if (minuteur_) minuteur_->annuler();
  minuteur_.reset();
  if (reveil_) tampon_->brancherReveil(nullptr, 0);
  reveil_.reset();
  std::vector<std::shared_ptr<VoieEmission>> voies;
  {
    Garde garde(verrou_);
    voies = voies_;
  }
  for (const auto& v : voies) v->fermer();
}

void EmetteurAudio::retirer(const VoieEmission* voie) {
  bool aucune = false;
  {
    Garde garde(verrou_);
    std::erase_if(voies_, [voie](const auto& v) { return v.get() == voie; });
    aucune = voies_.empty();
  }
  if (aucune) arreterSurLaFile();
}

void EmetteurAudio::accorderGroupe(InstantNs t) {
  const auto voie = [this](std::size_t i) -> std::shared_ptr<VoieEmission> {
    Garde garde(verrou_);
    return i < voies_.size() ? voies_[i] : nullptr;
  };
  std::size_t pieces = 0;
  std::optional<std::uint64_t> besoin;
  for (; const auto v = voie(pieces); ++pieces) {
    if (const auto b = v->besoinNs(t)) besoin = std::max(besoin.value_or(0), *b);
  }
  const auto latence = accord_.accorder(pieces, besoin, t);
  if (!latence) return;
  for (std::size_t i = 0; const auto v = voie(i); ++i) v->annoncerGroupe(*latence, pieces);
}

void EmetteurAudio::envoyerBlocs() {
  const std::int64_t perdus = tampon_->perdus();
  const InstantNs t = plateforme_.horloge->hoteNs();
  {
    Garde garde(verrou_);
    compteurs_.octetsJetes = perdus;
  }
  // Le tic ne change la liste des voies que par `retirer` ; il en lit une copie sans
  // allocation : une seule voie dans le cas courant, parcourue par index.
  for (std::size_t i = 0;;) {
    std::shared_ptr<VoieEmission> voie;
    {
      Garde garde(verrou_);
      if (i >= voies_.size()) break;
      voie = voies_[i];
    }
    if (voie->surveiller(t)) {
      ++i;
    } else {
      retirer(voie.get());
    }
  }
  if (!minuteur_) return;  // plus aucune voie
  accorderGroupe(t);

  std::int64_t sansHeure = 0;
  while (tampon_->disponible() >= octetsParPaquet) {
    const auto bloc = tampon_->lire(std::span(pcm_));
    if (bloc.octets != octetsParPaquet) break;
    InstantNs heure = 0;
    if (bloc.captureNs) {
      heure = *bloc.captureNs;
      // Sous Linux l'heure d'un bloc est celle où la sortie le joue, parfois un peu après T.
      if (ecartSigneNs(t, heure) > 0) pireAttenteNs_ = std::max(pireAttenteNs_, ecartNs(t, heure));
    } else {
      ++sansHeure;
      heure = plateforme_.horloge->hoteNs();
    }
    for (std::size_t i = 0;; ++i) {
      std::shared_ptr<VoieEmission> voie;
      {
        Garde garde(verrou_);
        if (i >= voies_.size()) break;
        voie = voies_[i];
      }
      voie->envoyer(pcm_, heure);
    }
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
