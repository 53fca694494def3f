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

#include "bench/simulation/recepteur_simule.hpp"
#include "bench/simulation/reseau_simule.hpp"
#include "bench/simulation/scenario.hpp"

namespace ravlo::simulation {

/// Un récepteur entier en temps simulé : un émetteur qui produit un paquet de 320 trames
/// toutes les 6 666 667 ns de son horloge et répond aux questions d'heure, un réseau
/// (`ReseauSimule`, un par sens), l'horloge du récepteur décalée de `decalagePPM`, et le
/// `Recepteur` même du programme (`RecepteurSimule`), cadencé toutes les 200 ms.
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
        gauche_(static_cast<std::size_t>(s_.blocTrames)),
        droite_(static_cast<std::size_t>(s_.blocTrames)) {}

  Resultat executer() {
    planifier(0, Sorte::envoiPaquet);
    planifier(0, Sorte::rendu);
    const auto fin = static_cast<std::int64_t>(s_.dureeS * 1e9);
    while (!file_.empty() && file_.top().t < fin) {
      Evenement e = file_.top();
      file_.pop();
      traiter(e);
    }
    return resultat();
  }

 private:
  enum class Sorte { envoiPaquet, arriveePaquet, rendu, arriveeQuestion, arriveeReponse };

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
      case Sorte::arriveeQuestion:
        repondre(e.t, e.donnees);
        break;
      case Sorte::arriveeReponse:
        piece_.recevoir(e.donnees, heureRecepteur(e.t));
        break;
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
      planifier(*arrivee, Sorte::arriveePaquet, piece_.paquet(*paquet));
    }
    ++sequence_;
    planifier((sequence_ + 1) * periodePaquetNs, Sorte::envoiPaquet);
  }

  void recevoirPaquet(std::int64_t t, const Octets& scelle) {
    piece_.recevoir(scelle, heureRecepteur(t));
  }

  void rendre(std::int64_t t) {
    const InstantNs h = origineRecepteur + static_cast<InstantNs>(std::llround(heureRendu_));
    if (!prochainTicNs_ || h >= *prochainTicNs_) {
      // Le tic du récepteur : ses questions d'heure partent vers l'émetteur.
      for (const Envoi& envoi : piece_.recepteur.cadencer(h)) {
        const auto message = piece_.ouvrir(envoi);
        const auto* question = message ? std::get_if<MessageHorloge>(&*message) : nullptr;
        if (!question) continue;
        if (const auto arrivee = retour_.acheminer(t))
          planifier(*arrivee, Sorte::arriveeQuestion, question->encoder());
      }
      prochainTicNs_ = h + 200'000'000;
      vitesse_ = piece_.recepteur.vitessePPM();
      if (vitesses_.empty() || t - vitesses_.back().t >= 1'000'000'000) {
        vitesses_.push_back({t, vitesse_});
      }
    }

    const std::int64_t rendues = piece_.lecture->tirer(s_.blocTrames, gauche_, droite_, h).rendues;
    const auto apres = piece_.lecture->etat();
    if (apres.commencee && !debutLectureNs_) debutLectureNs_ = h;
    if (rendues > 0 && apres.dernierRendu && apres.dernierRendu->heureNs == h) {
      const auto capture =
          static_cast<std::int64_t>(apres.dernierRendu->captureNs - origineEmetteur);
      latences_.push_back(static_cast<double>(t - capture) / 1e6);
    }
    heureRendu_ += static_cast<double>(s_.blocTrames) * 1e9 / 48'000.0 / (1.0 + vitesse_ * 1e-6);
    planifier(std::llround(heureRendu_ / tauxRecepteur()), Sorte::rendu);
  }

  void repondre(std::int64_t t, const Octets& donnees) {
    const auto lu = lireCanalHorloge(donnees);
    const auto reponse = std::get<MessageHorloge>(*lu).reponse(heureEmetteur(t), heureEmetteur(t));
    if (const auto arrivee = aller_.acheminer(t)) {
      planifier(*arrivee, Sorte::arriveeReponse,
                piece_.sceller(reponse.encoder(), SorteEnveloppe::horloge));
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
    const auto c = piece_.recepteur.compteurs();
    r.latenceEstimeeMs = c.latenceMs;
    r.trous = c.trous;
    r.trousParHeure = static_cast<double>(c.trous) * 3600.0 / s_.dureeS;
    r.tramesSautees = piece_.lecture->etat().tramesSautees;
    r.rattrapages = c.rattrapages;
    r.paquetsMasques = c.paquetsPerdus;
    r.paquetsTardifs = c.paquetsTardifs;
    r.paquetsReordonnes = c.paquetsReordonnes;
    r.cibleMs = c.cibleMs;
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

  RecepteurSimule piece_;
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
