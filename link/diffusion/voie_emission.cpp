// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/voie_emission.hpp"

#include <variant>

#include "link/diffusion/accord_groupe.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_releve.hpp"

namespace ravlo {

using Cas = EtatConnexion::Cas;

std::shared_ptr<VoieEmission> VoieEmission::creer(PointReseau point, Liaison liaison,
                                                  Tache quandRecepteurArrete,
                                                  Tache quandRecepteurEstInjoignable,
                                                  Plateforme plateforme) {
  return std::shared_ptr<VoieEmission>(
      new VoieEmission(std::move(point), std::move(liaison), std::move(quandRecepteurArrete),
                       std::move(quandRecepteurEstInjoignable), std::move(plateforme)));
}

VoieEmission::VoieEmission(PointReseau point, Liaison liaison, Tache quandRecepteurArrete,
                           Tache quandRecepteurEstInjoignable, Plateforme plateforme)
    : point_(std::move(point)),
      liaison_(std::move(liaison)),
      quandRecepteurArrete_(std::move(quandRecepteurArrete)),
      quandRecepteurEstInjoignable_(std::move(quandRecepteurEstInjoignable)),
      plateforme_(std::move(plateforme)),
      sequence_(plateforme_.premiereSequence) {}

VoieEmission::~VoieEmission() {
  // Dernière référence lâchée, peut-être hors de la file : l'annulation y est sûre.
  if (connexion_) connexion_->annuler();
}

void VoieEmission::ouvrir() {
  if (connexion_) return;
  silence_.entendu(plateforme_.horloge->hoteNs());
  // Le dialogue vient d'envoyer le message une fois.
  renvoiNs_ = plateforme_.horloge->hoteNs();
  creerConnexion();
}

void VoieEmission::fermer() {
  // Lâchée avant d'être annulée : son état « annulée » ne touche plus les compteurs.
  if (const auto connexion = std::move(connexion_)) connexion->annuler();
}

VoieEmission::Statistiques VoieEmission::compteurs() const {
  Garde garde(verrou_);
  return compteurs_;
}

bool VoieEmission::prete() const {
  return connexion_ && connexion_->etat().cas == Cas::prete;
}

void VoieEmission::creerConnexion() {
  if (connexion_) connexion_->annuler();
  auto connexion = plateforme_.connexions->creer(point_, *plateforme_.file);
  std::weak_ptr<VoieEmission> faible = weak_from_this();
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

void VoieEmission::suivreEtat(const EtatConnexion& etat,
                              const std::shared_ptr<ConnexionDatagramme>& de) {
  if (de != connexion_) return;
  // Le récepteur est parti pour de bon de ce point : rien à refaire, la voie finit au tic
  // (`surveiller`) si la page ne revient pas entre-temps par une autre voie.
  if (etat.cas == Cas::fermee && !fermeeNs_) fermeeNs_ = plateforme_.horloge->hoteNs();
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

void VoieEmission::armerReception(const std::shared_ptr<ConnexionDatagramme>& connexion) {
  std::weak_ptr<VoieEmission> faible = weak_from_this();
  const Horloge* horloge = plateforme_.horloge;
  connexion->recevoir([faible, connexion, horloge](const std::optional<Octets>& datagramme,
                                                   const std::optional<ErreurReseau>& erreur) {
    const InstantNs reception = horloge->hoteNs();
    if (const auto moi = faible.lock()) {
      moi->traiterReception(reception, datagramme, erreur.has_value(), connexion);
    }
  });
}

void VoieEmission::traiterReception(InstantNs reception, const std::optional<Octets>& datagramme,
                                    bool enErreur,
                                    const std::shared_ptr<ConnexionDatagramme>& connexion) {
  std::optional<Ouvert> ouvert;
  if (datagramme) {
    ouvert = liaison_.ouvreur->ouvrir(*datagramme);
    if (ouvert) entendu_ = true;
    if (ouvert && connexion == connexion_) {
      silence_.entendu(reception);
      reprise_.retablie();  // le récepteur répond : la panne est finie
    }
  }
  if (enErreur) {
    std::weak_ptr<VoieEmission> faible = weak_from_this();
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
        // Dit juste avant la fin ; un nom vide n'apprend rien.
        if (auto releve = MessageReleve::lire(ouvert->contenu); releve && !releve->nom.empty()) {
          Garde garde(verrou_);
          compteurs_.prisPar = std::move(releve->nom);
        }
        break;
      case SorteEnveloppe::horloge:
        traiterHorloge(reception, ouvert->contenu, connexion);
        break;
      case SorteEnveloppe::audio:
        break;
    }
  }
  armerReception(connexion);
}

void VoieEmission::traiterHorloge(InstantNs reception, const Octets& contenu,
                                  const std::shared_ptr<ConnexionDatagramme>& connexion) {
  const auto lu = lireCanalHorloge(contenu);
  if (!lu) return;
  if (const auto* groupe = std::get_if<MessageGroupe>(&*lu)) {
    if (groupe->sorte == MessageGroupe::Sorte::besoin) {
      besoinNs_ = groupe->a;
      besoinRecuNs_ = reception;
      if (!AccordGroupe::besoinAdmis(groupe->a)) {
        Garde garde(verrou_);
        ++compteurs_.besoinsRefuses;
      }
    }
    return;
  }
  const auto* message = std::get_if<MessageHorloge>(&*lu);
  if (message->sorte != MessageHorloge::Sorte::question) return;
  const InstantNs envoi = plateforme_.horloge->hoteNs();
  auto scelle = liaison_.scelleur->sceller(message->reponse(reception, envoi).encoder(),
                                           SorteEnveloppe::horloge);
  if (scelle) connexion->envoyer(std::move(*scelle));
}

std::optional<std::uint64_t> VoieEmission::besoinNs(InstantNs maintenant) const {
  if (!besoinNs_ || ecartSigneNs(maintenant, besoinRecuNs_) > fraicheurBesoinNs ||
      !AccordGroupe::besoinAdmis(*besoinNs_))
    return std::nullopt;
  return besoinNs_;
}

bool VoieEmission::horsGroupe(InstantNs maintenant) const {
  return besoinNs_ && ecartSigneNs(maintenant, besoinRecuNs_) <= fraicheurBesoinNs &&
         !AccordGroupe::besoinAdmis(*besoinNs_);
}

void VoieEmission::annoncerGroupe(std::uint64_t latenceNs, std::uint64_t pieces) {
  if (!connexion_ || !prete()) return;
  auto scelle = liaison_.scelleur->sceller(MessageGroupe::latence(latenceNs, pieces).encoder(),
                                           SorteEnveloppe::horloge);
  if (scelle) connexion_->envoyer(std::move(*scelle));
}

bool VoieEmission::surveiller(InstantNs maintenant) {
  {
    Garde garde(verrou_);
    compteurs_.recepteurMuet = silence_.estSilencieux(maintenant);
    compteurs_.horsGroupe = horsGroupe(maintenant);
  }
  if (!entendu_ && !liaison_.aRenvoyer.empty() && connexion_ &&
      ecartSigneNs(maintenant, renvoiNs_) >= intervalleRenvoiNs) {
    renvoiNs_ = maintenant;
    connexion_->envoyer(liaison_.aRenvoyer);
  }
  if (fermeeNs_) {
    if (ecartSigneNs(maintenant, *fermeeNs_) < graceFermeeNs) return true;
    // Comme sur son message de fin. Hors du verrou : le propriétaire relit les compteurs.
    fermer();
    quandRecepteurArrete_();
    return false;
  }
  // Une panne ne finit qu'à une réponse du récepteur : prête ou non, la connexion renonce
  // 30 s après son début.
  if (silence_.estPerdu(maintenant) ||
      reprise_.verifier(maintenant) == RepriseConnexion::Decision::abandonner) {
    abandonner();
    return false;
  }
  if (!connexion_ || prete()) return true;
  const Cas cas = connexion_->etat().cas;
  if (cas != Cas::attente && cas != Cas::echec) return true;
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
      return false;
  }
  return true;
}

void VoieEmission::envoyer(std::span<const std::uint8_t, flux::octetsParPaquet> pcm,
                           InstantNs heure) {
  // Un seul relevé de l'état de la connexion par bloc : il sert au choix et au compte.
  const bool pret = prete();
  const bool envoye = [&] {
    if (!pret) return false;
    const auto paquet = PaquetAudio::encoderDans(sequence_, heure, pcm, paquet_);
    if (!paquet) return false;
    const auto scelle = liaison_.scelleur->scellerDans(VueOctets(paquet_).first(*paquet),
                                                       SorteEnveloppe::audio, scelle_);
    if (!scelle) return false;
    connexion_->envoyerSurLaFile(VueOctets(scelle_).first(*scelle));
    ++sequence_;
    return true;
  }();
  Garde garde(verrou_);
  if (envoye) {
    ++compteurs_.paquetsEnvoyes;
  } else if (!pret) {
    ++compteurs_.blocsJetes;
  }
}

void VoieEmission::abandonner() {
  fermer();
  quandRecepteurEstInjoignable_();
}

}  // namespace ravlo
