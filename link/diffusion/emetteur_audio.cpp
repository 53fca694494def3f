#include "link/diffusion/emetteur_audio.hpp"

#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_horloge.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {

using Cas = EtatConnexion::Cas;

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
      point_(std::move(point)),
      liaison_(std::move(liaison)),
      quandRecepteurArrete_(std::move(quandRecepteurArrete)),
      quandRecepteurEstInjoignable_(std::move(quandRecepteurEstInjoignable)),
      plateforme_(std::move(plateforme)),
      sequence_(plateforme_.premiereSequence) {}

EmetteurAudio::~EmetteurAudio() {
  // Dernière référence lâchée, peut-être hors de la file : les deux annulations sont sûres
  // depuis n'importe quel fil.
  if (minuteur_) minuteur_->annuler();
  if (connexion_) connexion_->annuler();
}

void EmetteurAudio::demarrer() {
  plateforme_.file->poster([moi = shared_from_this()] { moi->demarrerSurLaFile(); });
}

void EmetteurAudio::arreter() {
  plateforme_.file->poster([moi = shared_from_this()] { moi->arreterSurLaFile(); });
}

EmetteurAudio::Statistiques EmetteurAudio::compteurs() const {
  Garde garde(verrou_);
  return compteurs_;
}

void EmetteurAudio::demarrerSurLaFile() {
  if (connexion_) return;
  silence_.entendu(plateforme_.horloge->hoteNs());
  creerConnexion();
  std::weak_ptr<EmetteurAudio> faible = weak_from_this();
  minuteur_ = plateforme_.file->repeter(periode, std::chrono::milliseconds(1), [faible] {
    if (const auto moi = faible.lock()) moi->envoyerBlocs();
  });
}

void EmetteurAudio::arreterSurLaFile() {
  if (minuteur_) minuteur_->annuler();
  minuteur_.reset();
  // Lâchée avant d'être annulée : son état « annulée » ne touche plus les compteurs, qui
  // gardent l'état du lien au moment de l'arrêt.
  if (const auto connexion = std::move(connexion_)) connexion->annuler();
}

void EmetteurAudio::creerConnexion() {
  if (connexion_) connexion_->annuler();
  auto connexion = plateforme_.connexions->creer(point_, *plateforme_.file);
  std::weak_ptr<EmetteurAudio> faible = weak_from_this();
  std::weak_ptr<ConnexionDatagramme> faibleConnexion = connexion;
  connexion->surEtat([faible, faibleConnexion](const EtatConnexion& etat) {
    const auto moi = faible.lock();
    const auto de = faibleConnexion.lock();
    if (moi && de) moi->suivreEtat(etat, de);
  });
  // Avant `demarrer()` : la connexion réelle annonce ses premiers états pendant l'appel.
  connexion_ = connexion;
  connexion->demarrer();
  armerReception(connexion);
}

void EmetteurAudio::suivreEtat(const EtatConnexion& etat,
                               const std::shared_ptr<ConnexionDatagramme>& de) {
  if (de != connexion_) return;
  Garde garde(verrou_);
  switch (etat.cas) {
    case Cas::attente:
    case Cas::echec:
      compteurs_.connexionPrete = false;
      compteurs_.erreur = etat.erreur.value_or(ErreurReseau{});
      break;
    case Cas::prete:
      compteurs_.connexionPrete = true;
      compteurs_.erreur.reset();
      break;
    default:
      compteurs_.connexionPrete = false;
      break;
  }
}

void EmetteurAudio::armerReception(const std::shared_ptr<ConnexionDatagramme>& connexion) {
  std::weak_ptr<EmetteurAudio> faible = weak_from_this();
  const Horloge* horloge = plateforme_.horloge;
  connexion->recevoir([faible, connexion, horloge](const std::optional<Octets>& datagramme,
                                                   const std::optional<ErreurReseau>& erreur) {
    const InstantNs reception = horloge->hoteNs();
    if (const auto moi = faible.lock()) {
      moi->traiterReception(reception, datagramme, erreur.has_value(), connexion);
    }
  });
}

void EmetteurAudio::traiterReception(InstantNs reception, const std::optional<Octets>& datagramme,
                                     bool enErreur,
                                     const std::shared_ptr<ConnexionDatagramme>& connexion) {
  std::optional<Ouvert> ouvert;
  if (datagramme) {
    ouvert = liaison_.ouvreur->ouvrir(*datagramme);
    if (ouvert && connexion == connexion_) {
      silence_.entendu(reception);
      reprise_.retablie();  // le récepteur répond : la panne est finie
    }
  }
  if (enErreur) {
    std::weak_ptr<EmetteurAudio> faible = weak_from_this();
    plateforme_.file->posterApres(std::chrono::milliseconds(500), [faible, connexion] {
      const auto moi = faible.lock();
      if (moi && connexion == moi->connexion_) moi->armerReception(connexion);
    });
    return;
  }
  if (ouvert) {
    switch (ouvert->sorte) {
      case SorteEnveloppe::fin:
        if (MessageFin::estFin(ouvert->contenu)) {
          quandRecepteurArrete_();
          return;  // on n'écoute plus cette connexion
        }
        break;
      case SorteEnveloppe::horloge:
        repondreALHorloge(reception, ouvert->contenu, connexion);
        break;
      case SorteEnveloppe::audio:
        break;
    }
  }
  armerReception(connexion);
}

void EmetteurAudio::repondreALHorloge(InstantNs reception, const Octets& contenu,
                                      const std::shared_ptr<ConnexionDatagramme>& connexion) {
  const auto message = MessageHorloge::lire(contenu);
  if (!message || message->sorte != MessageHorloge::Sorte::question) return;
  const InstantNs envoi = plateforme_.horloge->hoteNs();
  auto scelle = liaison_.scelleur->sceller(message->reponse(reception, envoi).encoder(),
                                           SorteEnveloppe::horloge);
  if (scelle) connexion->envoyer(std::move(*scelle));
}

void EmetteurAudio::envoyerBlocs() {
  const std::int64_t perdus = tampon_->perdus();
  const InstantNs t = plateforme_.horloge->hoteNs();
  {
    Garde garde(verrou_);
    compteurs_.octetsJetes = perdus;
    compteurs_.recepteurMuet = silence_.estSilencieux(t);
  }
  // Une panne ne finit qu'à une réponse du récepteur : prête ou non, la connexion renonce
  // 30 s après son début.
  if (silence_.estPerdu(t) || reprise_.verifier(t) == RepriseConnexion::Decision::abandonner) {
    abandonner();
    return;
  }
  if (!connexion_ || connexion_->etat().cas != Cas::prete) {
    const std::int64_t jetes =
        tampon_->jeter(tampon_->disponible() / octetsParPaquet * octetsParPaquet);
    if (jetes > 0) {
      Garde garde(verrou_);
      compteurs_.blocsJetes += jetes / octetsParPaquet;
    }
    surveillerConnexion(t);
    return;
  }

  std::int64_t envoyes = 0;
  std::int64_t sansHeure = 0;
  // Chaque paquet passe par les trois tampons de l'émetteur : rien n'est alloué par paquet.
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
    const auto paquet = PaquetAudio::encoderDans(sequence_, heure, pcm_, paquet_);
    if (!paquet) break;  // bloc perdu, l'envoi continue au prochain tic
    const auto scelle = liaison_.scelleur->scellerDans(VueOctets(paquet_).first(*paquet),
                                                       SorteEnveloppe::audio, scelle_);
    if (!scelle) break;
    connexion_->envoyerSurLaFile(VueOctets(scelle_).first(*scelle));
    ++sequence_;
    ++envoyes;
  }

  if (ecartNs(t, debutSecondeNs_) >= 1'000'000'000) {
    {
      Garde garde(verrou_);
      compteurs_.pireAttenteMs = static_cast<double>(pireAttenteNs_) / 1'000'000.0;
    }
    pireAttenteNs_ = 0;
    debutSecondeNs_ = t;
  }
  if (envoyes >= 1) {
    Garde garde(verrou_);
    compteurs_.paquetsEnvoyes += envoyes;
    compteurs_.paquetsSansHeureDeCapture += sansHeure;
  }
}

void EmetteurAudio::surveillerConnexion(InstantNs maintenant) {
  if (!connexion_) return;
  const Cas cas = connexion_->etat().cas;
  if (cas != Cas::attente && cas != Cas::echec) return;
  switch (reprise_.decider(maintenant)) {
    case RepriseConnexion::Decision::rien:
      break;
    case RepriseConnexion::Decision::recreer: {
      creerConnexion();
      Garde garde(verrou_);
      ++compteurs_.connexionsRefaites;
      break;
    }
    case RepriseConnexion::Decision::abandonner:
      abandonner();
      break;
  }
}

void EmetteurAudio::abandonner() {
  arreterSurLaFile();
  quandRecepteurEstInjoignable_();
}

}  // namespace ravlo
