// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <utility>
#include <vector>

#include "bench/simulation/reseau_simule.hpp"
#include "bench/simulation/scenario.hpp"
#include "protocol/lecture/mesure_latence.hpp"
#include "protocol/lecture/synchro_horloges.hpp"
#include "protocol/messages/message_horloge.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "recepteur/file_lecture.hpp"
#include "recepteur/pilote_file.hpp"

namespace ravlo::simulation {

/// Un récepteur entier en temps simulé, bâti sur la seule bibliothèque : un émetteur qui
/// produit un paquet de 320 trames toutes les 6 666 667 ns de son horloge, un réseau
/// (`ReseauSimule`, un par sens), l'horloge du récepteur décalée de `decalagePPM`, l'échange
/// d'heures, la file de lecture du récepteur et son pilote, piloté toutes les 200 ms.
/// La vitesse du pilote s'applique comme un rééchantillonneur : elle change la cadence du
/// rendu sur l'horloge du récepteur. Le temps vrai (ns depuis le départ) sert de référence
/// aux mesures.
class SimulationReception {
 public:
  static constexpr std::int64_t periodePaquetNs = 6'666'667;
  static constexpr InstantNs origineEmetteur = 3'600'000'000'000;  // 1 h de marche
  static constexpr InstantNs origineRecepteur = 987'654'321'000;

  explicit SimulationReception(Scenario s)
      : s_(std::move(s)),
        aller_(s_.aller, s_.graine * 2 + 1),
        retour_(s_.retour, s_.graine * 2 + 2),
        lecture_(std::make_shared<FileLecture>(PiloteFile::amorceDepartTrames, true)),
        pilote_(lecture_),
        gauche_(static_cast<std::size_t>(s_.blocTrames)),
        droite_(static_cast<std::size_t>(s_.blocTrames)) {}

  Resultat executer() {
    planifier(0, Sorte::envoiPaquet);
    planifier(0, Sorte::rendu);
    planifier(0, Sorte::envoiQuestion);
    const auto fin = static_cast<std::int64_t>(s_.dureeS * 1e9);
    while (!file_.empty() && file_.top().t < fin) {
      Evenement e = file_.top();
      file_.pop();
      traiter(e);
    }
    return resultat();
  }

 private:
  enum class Sorte {
    envoiPaquet,
    arriveePaquet,
    rendu,
    envoiQuestion,
    arriveeQuestion,
    arriveeReponse
  };

  struct Evenement {
    std::int64_t t = 0;
    std::uint64_t ordre = 0;
    Sorte sorte = Sorte::rendu;
    Octets donnees;
    bool operator>(const Evenement& autre) const {
      return t != autre.t ? t > autre.t : ordre > autre.ordre;
    }
  };

  void planifier(std::int64_t t, Sorte sorte, Octets donnees = {}) {
    file_.push(Evenement{t, ordre_++, sorte, std::move(donnees)});
  }

  // Horloges : l'émetteur est la référence de cadence, le récepteur retarde.
  double tauxRecepteur() const { return 1.0 - s_.decalagePPM * 1e-6; }
  InstantNs heureEmetteur(std::int64_t t) const {
    return origineEmetteur + static_cast<InstantNs>(t);
  }
  InstantNs heureRecepteur(std::int64_t t) const {
    return origineRecepteur +
           static_cast<InstantNs>(std::llround(static_cast<double>(t) * tauxRecepteur()));
  }

  void traiter(const Evenement& e) {
    switch (e.sorte) {
      case Sorte::envoiPaquet:
        envoyerPaquet(e.t);
        break;
      case Sorte::arriveePaquet:
        recevoirPaquet(e.t, e.donnees);
        break;
      case Sorte::rendu:
        rendre(e.t);
        break;
      case Sorte::envoiQuestion:
        envoyerQuestion(e.t);
        break;
      case Sorte::arriveeQuestion:
        repondre(e.t, e.donnees);
        break;
      case Sorte::arriveeReponse: {
        const auto m = MessageHorloge::lire(e.donnees);
        if (m.has_value()) synchro_.enregistrer(*m, heureRecepteur(e.t));
        break;
      }
    }
  }

  // Le paquet k porte les trames capturées à partir de k × 6 666 667 ns et part quand il
  // est plein, au tic suivant de la minuterie d'envoi s'il y en a une.
  void envoyerPaquet(std::int64_t) {
    const std::int64_t capture = sequence_ * periodePaquetNs;
    std::int64_t depart = capture + periodePaquetNs;
    if (s_.minuterieEmetteurMs > 0) {
      const auto pas = static_cast<std::int64_t>(s_.minuterieEmetteurMs * 1e6);
      depart = (depart + pas - 1) / pas * pas;
    }
    Octets pcm(PaquetAudio::tramesMax * 4);
    for (std::size_t i = 0; i < PaquetAudio::tramesMax; ++i) {
      const auto v =
          static_cast<std::int16_t>((sequence_ * 320 + static_cast<std::int64_t>(i)) % 20'000);
      pcm[4 * i] = pcm[4 * i + 2] = static_cast<std::uint8_t>(v & 0xFF);
      pcm[4 * i + 1] = pcm[4 * i + 3] = static_cast<std::uint8_t>(v >> 8);
    }
    const auto paquet = PaquetAudio::creer(static_cast<std::uint32_t>(sequence_),
                                           heureEmetteur(capture), std::move(pcm));
    if (const auto arrivee = aller_.acheminer(depart)) {
      planifier(*arrivee, Sorte::arriveePaquet, paquet->encoder());
    }
    ++sequence_;
    planifier((sequence_ + 1) * periodePaquetNs, Sorte::envoiPaquet);
  }

  void recevoirPaquet(std::int64_t t, const Octets& donnees) {
    const auto paquet = PaquetAudio::lire(donnees);
    if (!paquet.has_value()) return;
    const InstantNs maintenant = heureRecepteur(t);
    pilote_.recevoir(*paquet, maintenant);
    const InstantNs capture = paquet->horodatageNanosecondes();
    if (const auto locale = synchro_.heureLocale(capture, maintenant)) {
      latence_.noterArrivee(*locale, maintenant);
    }
  }

  void rendre(std::int64_t t) {
    const InstantNs h = origineRecepteur + static_cast<InstantNs>(std::llround(heureRendu_));
    if (!prochainTicNs_ || h >= *prochainTicNs_) {
      pilote_.piloter(h);
      prochainTicNs_ = h + 200'000'000;
      vitesse_ = pilote_.vitessePPM();
      if (vitesses_.empty() || t - vitesses_.back().t >= 1'000'000'000) {
        vitesses_.push_back({t, vitesse_});
      }
    }

    const std::int64_t rendues = lecture_->tirer(s_.blocTrames, gauche_, droite_, h).rendues;
    const auto apres = lecture_->etat();
    if (apres.commencee && !debutLectureNs_) debutLectureNs_ = h;
    if (rendues > 0 && apres.dernierRendu && apres.dernierRendu->heureNs == h) {
      const auto capture =
          static_cast<std::int64_t>(apres.dernierRendu->captureNs - origineEmetteur);
      latences_.push_back(static_cast<double>(t - capture) / 1e6);
      if (const auto locale = synchro_.heureLocale(apres.dernierRendu->captureNs, h)) {
        latence_.noterRendu(*locale, h);
      }
    }
    heureRendu_ += static_cast<double>(s_.blocTrames) * 1e9 / 48'000.0 / (1.0 + vitesse_ * 1e-6);
    planifier(std::llround(heureRendu_ / tauxRecepteur()), Sorte::rendu);
  }

  void envoyerQuestion(std::int64_t t) {
    const auto question = MessageHorloge::question(heureRecepteur(t));
    if (const auto arrivee = retour_.acheminer(t)) {
      planifier(*arrivee, Sorte::arriveeQuestion, question.encoder());
    }
    planifier(t + static_cast<std::int64_t>(s_.questionsToutesLesS * 1e9 / tauxRecepteur()),
              Sorte::envoiQuestion);
  }

  void repondre(std::int64_t t, const Octets& donnees) {
    const auto question = MessageHorloge::lire(donnees);
    if (!question.has_value()) return;
    const auto reponse = question->reponse(heureEmetteur(t), heureEmetteur(t));
    if (const auto arrivee = aller_.acheminer(t)) {
      planifier(*arrivee, Sorte::arriveeReponse, reponse.encoder());
    }
  }

  Resultat resultat() {
    Resultat r;
    if (!latences_.empty()) {
      double somme = 0;
      for (double l : latences_) somme += l;
      r.latenceMoyenneMs = somme / static_cast<double>(latences_.size());
      const auto rang = static_cast<std::size_t>(0.99 * static_cast<double>(latences_.size()));
      std::nth_element(latences_.begin(), latences_.begin() + static_cast<std::ptrdiff_t>(rang),
                       latences_.end());
      r.latenceP99Ms = latences_[rang];
    }
    r.latenceEstimeeMs = latence_.latenceMs();
    const auto etat = lecture_->etat();
    r.trous = etat.trous;
    r.trousParHeure = static_cast<double>(etat.trous) * 3600.0 / s_.dureeS;
    r.tramesSautees = etat.tramesSautees;
    r.rattrapages = etat.rattrapages;
    r.paquetsMasques = etat.masques;
    r.paquetsTardifs = etat.tardifs;
    r.paquetsReordonnes = etat.reordonnes;
    r.cibleMs = pilote_.cibleMs();
    r.vitesseVraiePPM = s_.decalagePPM / tauxRecepteur();
    r.vitesseFinalePPM = vitesse_;
    if (const auto debut = debutLectureNs_) {
      const double debutS = static_cast<double>(*debut - origineRecepteur) / tauxRecepteur() / 1e9;
      r.debutLectureS = debutS;
      std::int64_t apres = 0, dansLaBande = 0;
      double somme = 0;
      for (const auto& [t, v] : vitesses_) {
        if (static_cast<double>(t) / 1e9 < debutS + 60.0) continue;
        somme += v;
        const double ecart = std::abs(v - r.vitesseVraiePPM);
        r.ecartMaxApres60sPPM = std::max(r.ecartMaxApres60sPPM, ecart);
        ++apres;
        if (ecart <= 20.0) ++dansLaBande;
      }
      r.converge = apres > 0 && dansLaBande == apres;
      if (apres > 0) r.vitesseMoyenneApres60sPPM = somme / static_cast<double>(apres);
      r.partDansLaBande =
          apres > 0 ? static_cast<double>(dansLaBande) / static_cast<double>(apres) : 0.0;
    }
    return r;
  }

  Scenario s_;
  ReseauSimule aller_, retour_;
  std::priority_queue<Evenement, std::vector<Evenement>, std::greater<>> file_;
  std::uint64_t ordre_ = 0;

  std::int64_t sequence_ = 0;

  std::shared_ptr<FileLecture> lecture_;
  PiloteFile pilote_;
  SynchroHorloges synchro_;
  MesureLatence latence_;
  std::vector<float> gauche_, droite_;
  double heureRendu_ = 0;  ///< ns d'horloge du récepteur depuis son origine
  double vitesse_ = 0;
  std::optional<InstantNs> prochainTicNs_;
  std::optional<InstantNs> debutLectureNs_;

  std::vector<double> latences_;
  struct Vitesse {
    std::int64_t t;
    double ppm;
  };
  std::vector<Vitesse> vitesses_;
};

}  // namespace ravlo::simulation
