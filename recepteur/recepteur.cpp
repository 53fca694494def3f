// SPDX-License-Identifier: MPL-2.0
#include "recepteur/recepteur.hpp"

#include <algorithm>
#include <cmath>
#include <variant>

#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_releve.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {

Recepteur::Recepteur(GuichetAppairage::Reglages appairage, std::shared_ptr<FileLecture> lecture)
    : guichet_(std::move(appairage)), lecture_(lecture), pilote_(std::move(lecture)) {}

std::vector<Envoi> Recepteur::recevoir(VueOctets octets, const PointReseau& source,
                                       InstantNs maintenant) {
  std::vector<Envoi> envois;
  const FormeDatagramme forme = formeDe(octets);
  if (forme == FormeDatagramme::enveloppe) {
    // Rien à ouvrir, ou une autre source au-delà de sa part : écartée sans déchiffrer.
    // Une autre source reste admise : l'émetteur change de socket après l'appairage.
    if (!liaison_ || (source != expediteur_ && !quotaEtrangers_.prendre(source, maintenant))) {
      ecarter();
      return envois;
    }
    recevoirScelle(octets, source, maintenant);
    return envois;
  }
  if (forme == FormeDatagramme::demandeCode) {
    demanderCode(maintenant);
    return envois;
  }
  if (forme == FormeDatagramme::reprise) {
    const auto message = MessageReprise::decoder(octets);
    if (!message) {
      ++compteurs_.enveloppesRefusees;
      return envois;
    }
    traiter(guichet_.recevoir(*message, source, maintenant), envois);
    return envois;
  }
  if (forme != FormeDatagramme::appairage) {
    ecarter();
    return envois;
  }
  const auto message = MessagePasskey::decoder(octets);
  if (!message) {
    ++compteurs_.enveloppesRefusees;
    return envois;
  }
  traiter(guichet_.recevoir(*message, source, maintenant), envois);
  return envois;
}

void Recepteur::traiter(GuichetAppairage::Issue issue, std::vector<Envoi>& envois) {
  // La confirmation d'abord, puis la fin pour l'expéditeur remplacé, puis ce qui attendait.
  auto reponse = issue.reponses.begin();
  if (issue.appairage && reponse != issue.reponses.end()) {
    envois.push_back({reponse->message.donnees(), reponse->vers});
    ++reponse;
  }
  if (issue.appairage) {
    appairer(issue.appairage->reussi.liaison, issue.appairage->reussi.nomOrdinateur,
             issue.appairage->source, envois);
  }
  // Une reprise réussie ne répond rien (la preuve de l'ordinateur clôt la poignée) : elle se
  // conduit comme un appairage au code, sous le nom mémorisé.
  if (issue.reprise) {
    appairer(issue.reprise->liaison, issue.reprise->nom, issue.reprise->source, envois);
    ++compteurs_.reprises;
  }
  for (; reponse != issue.reponses.end(); ++reponse)
    envois.push_back({reponse->message.donnees(), reponse->vers});
  for (const auto& r : issue.reponsesReprise) envois.push_back({r.message.donnees(), r.vers});
}

void Recepteur::appairer(const Liaison& liaison, const std::string& nom, const PointReseau& source,
                         std::vector<Envoi>& envois) {
  // L'expéditeur remplacé apprend qui prend sa place, puis qu'on ne l'écoute plus.
  if (auto releve = sceller(MessageReleve{nom}.encoder(), SorteEnveloppe::fin))
    envois.push_back(std::move(*releve));
  if (auto fin = terminer()) envois.push_back(std::move(*fin));
  compteurs_.finEnvoyee = false;
  liaison_ = liaison;
  expediteur_ = source;
  nomOrdinateur_ = nom;
  synchro_ = SynchroHorloges{};
  suivi_.oublier();
  latence_.reinitialiser();
  nombreLatences_ = 0;
  dernierAudio_.reset();
  pilote_.reinitialiser();
  ++compteurs_.appairages;
}

void Recepteur::adopter(const Liaison& liaison, const PointReseau& source) {
  std::vector<Envoi> envois;
  appairer(liaison, {}, source, envois);
}

void Recepteur::ecarter() {
  ++compteurs_.enveloppesRefusees;
  ++compteurs_.datagrammesEcartes;
}

void Recepteur::demanderCode(InstantNs maintenant) {
  if (!codeParle_) {
    ecarter();
    return;
  }
  // Le code se donne quand un `debut` serait servi, pas pendant la pause qui suit des codes
  // faux ni une fois un code fixé épuisé.
  const bool codeADonner = !guichet_.codeEpuise() && guichet_.pauseRestanteNs(maintenant) == 0;
  if (limiteCode_.demander(maintenant, codeADonner, parole_) == LimiteCodeParle::Issue::dire) {
    codeADire_ = true;
    ++compteurs_.codesDits;
    return;
  }
  ++compteurs_.enveloppesRefusees;
  ++compteurs_.demandesCodeRefusees;
}

void Recepteur::recevoirScelle(VueOctets octets, const PointReseau& source, InstantNs maintenant) {
  if (!liaison_) return;  // déjà écartée par `recevoir`
  const std::optional<Ouvert> ouvert = liaison_->ouvreur->ouvrir(octets);
  if (!ouvert) {
    if (source != expediteur_) quotaEtrangers_.refusee(source, maintenant);
    ++compteurs_.enveloppesRefusees;
    return;
  }
  if (ouvert->estLePlusRecent) expediteur_ = source;
  switch (ouvert->sorte) {
    case SorteEnveloppe::audio:
      recevoirAudio(ouvert->contenu, maintenant);
      break;
    case SorteEnveloppe::horloge:
      recevoirHorloge(ouvert->contenu, maintenant);
      break;
    case SorteEnveloppe::fin:
      break;  // l'émetteur ne l'envoie pas ; rien à faire
  }
}

void Recepteur::recevoirHorloge(VueOctets contenu, InstantNs maintenant) {
  const auto message = lireCanalHorloge(contenu);
  if (!message) return;
  if (const auto* h = std::get_if<MessageHorloge>(&*message)) {
    if (h->sorte != MessageHorloge::Sorte::reponse) return;
    ++compteurs_.reponsesHorloge;
    if (synchro_.enregistrer(*h, maintenant)) suivi_.noter(synchro_.echanges().back());
    return;
  }
  const auto& g = std::get<MessageGroupe>(*message);
  if (g.sorte != MessageGroupe::Sorte::latence) return;
  // Plus haut que la file ne tient : pas de groupe ; sans annonce tenable, seul.
  if (g.a > MessageGroupe::latenceMaxNs) {
    ++compteurs_.latencesGroupeRefusees;
  } else {
    pilote_.rejoindreGroupe(g.a, maintenant);
  }
}

void Recepteur::recevoirAudio(const Octets& contenu, InstantNs maintenant) {
  const auto paquet = PaquetAudio::lire(contenu);
  if (!paquet) {
    ++compteurs_.enveloppesRefusees;
    return;
  }
  if (enPause(maintenant)) pilote_.retarderRegulation(maintenant);
  dernierAudio_ = maintenant;
  const auto placement = pilote_.recevoir(*paquet, maintenant);
  if (placement.sort == FileLecture::Sort::invalide) {
    ++compteurs_.enveloppesRefusees;
    return;
  }
  const InstantNs heure = paquet->horodatageNanosecondes();
  if (const auto local = suivi_.heureLocale(heure, maintenant)) {
    latence_.noterArrivee(*local, maintenant);
  }
}

std::vector<Envoi> Recepteur::cadencer(InstantNs maintenant) {
  std::vector<Envoi> envois;
  traiter(guichet_.surveiller(maintenant), envois);  // un code renouvelé se lit dans `code()`
  if (auto q = sceller(MessageHorloge::question(maintenant).encoder(), SorteEnveloppe::horloge)) {
    envois.push_back(std::move(*q));
    ++compteurs_.questionsHorloge;
  }
  // En pause, la file vide n'apprend rien au régulateur : il s'emballerait jusqu'à −1000 ppm
  // et ralentirait longtemps la lecture à la reprise.
  if (!enPause(maintenant)) pilote_.piloter(maintenant, suivi_.decalageNs(maintenant));
  // Ce qu'il lui faut, pour le cas où l'émetteur joue dans plusieurs pièces ; un émetteur
  // qui n'en sait rien le jette.
  if (const auto besoin = pilote_.besoinMs(); besoin && *besoin > 0) {
    // Borné avant la conversion : un besoin hors de portée reste hors de portée, sans
    // déborder l'entier.
    const auto ns = [](double ms) {
      return static_cast<std::uint64_t>(std::llround(std::min(ms, 1e9) * 1e6));
    };
    const auto tenu = pilote_.latenceMs();
    if (auto b =
            sceller(MessageGroupe::besoin(ns(*besoin), tenu && *tenu > 0 ? ns(*tenu) : 0).encoder(),
                    SorteEnveloppe::horloge)) {
      envois.push_back(std::move(*b));
    }
  }
  const auto etat = lecture_->etat();
  if (etat.dernierRendu) {
    if (const auto local = suivi_.heureLocale(etat.dernierRendu->captureNs, maintenant)) {
      latence_.noterRendu(*local, etat.dernierRendu->heureNs);
      const double ms = static_cast<double>(ecartSigneNs(etat.dernierRendu->heureNs, *local)) / 1e6;
      if (std::abs(ms) < 2000) latences_[nombreLatences_++ % latences_.size()] = ms;
    }
  }
  return envois;
}

std::optional<Envoi> Recepteur::terminer() {
  auto fin = sceller(MessageFin::donnees, SorteEnveloppe::fin);
  if (fin) compteurs_.finEnvoyee = true;
  return fin;
}

bool Recepteur::enPause(InstantNs maintenant) const {
  return !dernierAudio_ || ecartNs(maintenant, *dernierAudio_) >= pauseNs;
}

std::optional<EtatCarte> Recepteur::carte(bool sonCoupe, InstantNs maintenant) {
  return publication_.publier(EtatCarte{.sonCoupe = sonCoupe, .enPause = enPause(maintenant)});
}

std::optional<Envoi> Recepteur::sceller(VueOctets contenu, SorteEnveloppe sorte) {
  if (!liaison_ || !expediteur_) return std::nullopt;
  auto scelle = liaison_->scelleur->sceller(contenu, sorte);
  if (!scelle) return std::nullopt;
  return Envoi{std::move(*scelle), *expediteur_};
}

CompteursRecepteur Recepteur::compteurs() const {
  CompteursRecepteur c = compteurs_;
  const auto etat = lecture_->etat();
  c.paquetsRecus = etat.places;
  c.paquetsPerdus = etat.masques;
  c.paquetsTardifs = etat.tardifs;
  c.paquetsReordonnes = etat.reordonnes;
  c.rattrapages = etat.rattrapages;
  c.recalages = etat.recalages;
  c.trous = etat.trous;
  c.essaisRefuses = guichet_.essaisRefuses();
  c.essaisEchoues = guichet_.essaisEchoues();
  c.reprisesEchouees = guichet_.reprisesEchouees();
  c.vitessePPM = pilote_.vitessePPM();
  c.cibleMs = pilote_.cibleMs();
  c.latenceGroupeMs = pilote_.latenceGroupeMs();
  c.besoinMs = pilote_.besoinMs();
  c.arriveeMs = latence_.jusquAuRecepteurMs();
  c.reserveMs = pilote_.reserveMs();
  if (expediteur_) c.expediteur = enTexte(*expediteur_);
  const std::size_t n = std::min(nombreLatences_, latences_.size());
  if (n > 0) {
    std::array<double, echantillonsLatence> tri = latences_;
    std::nth_element(tri.begin(), tri.begin() + static_cast<std::ptrdiff_t>(n / 2),
                     tri.begin() + static_cast<std::ptrdiff_t>(n));
    c.latenceMs = tri[n / 2];
  }
  return c;
}

}  // namespace ravlo
