// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "bench/simulation/emetteur_simule.hpp"
#include "bench/simulation/recepteur_simule.hpp"
#include "bench/simulation/reseau_simule.hpp"
#include "bench/simulation/scenario.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo::simulation {

/// Un récepteur entier en temps simulé : l'émetteur du programme (`EmetteurSimule`), dont
/// l'anneau reçoit un paquet de 320 trames toutes les 6 666 667 ns de son horloge et qui
/// répond aux questions d'heure, un réseau (`ReseauSimule`, un par sens), l'horloge du
/// récepteur décalée de `decalagePPM`, et le `Recepteur` même du programme
/// (`RecepteurSimule`), cadencé toutes les 200 ms.
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
        droite_(static_cast<std::size_t>(s_.blocTrames)),
        emetteur_(temps_, origineEmetteur, {piece_.liaison},
                  [this](std::size_t, Octets d) { acheminer(std::move(d)); }) {}

  Resultat executer() {
    temps_.planifier(0, [this](std::int64_t t) { envoyerPaquet(t); });
    temps_.planifier(0, [this](std::int64_t t) { rendre(t); });
    temps_.derouler(static_cast<std::int64_t>(s_.dureeS * 1e9));
    return resultat();
  }

 private:
  // Horloges : l'émetteur est la référence de cadence, le récepteur retarde.
  double tauxRecepteur() const { return 1.0 - s_.decalagePPM * 1e-6; }
  InstantNs heureEmetteur(std::int64_t t) const {
    return origineEmetteur + static_cast<InstantNs>(t);
  }
  InstantNs heureRecepteur(std::int64_t t) const {
    return origineRecepteur +
           static_cast<InstantNs>(std::llround(static_cast<double>(t) * tauxRecepteur()));
  }

  // Le paquet k porte les trames capturées à partir de k × 6 666 667 ns et s'écrit dans
  // l'anneau quand il est plein, au tic suivant de la minuterie d'envoi s'il y en a une.
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
    temps_.planifier(depart, [this, pcm = std::move(pcm), capture](std::int64_t) {
      emetteur_.capter(pcm, heureEmetteur(capture));
    });
    ++sequence_;
    temps_.planifier((sequence_ + 1) * periodePaquetNs,
                     [this](std::int64_t t) { envoyerPaquet(t); });
  }

  // Ce que la voie envoie, parti maintenant.
  void acheminer(Octets scelle) {
    if (const auto arrivee = aller_.acheminer(temps_.maintenant())) {
      temps_.planifier(*arrivee, [this, scelle = std::move(scelle)](std::int64_t t) {
        piece_.recevoir(scelle, heureRecepteur(t));
      });
    }
  }

  void rendre(std::int64_t t) {
    const InstantNs h = origineRecepteur + static_cast<InstantNs>(std::llround(heureRendu_));
    if (!prochainTicNs_ || h >= *prochainTicNs_) {
      // Le tic du récepteur : ses questions d'heure et son besoin partent vers la voie.
      for (Envoi& envoi : piece_.recepteur.cadencer(h)) {
        if (const auto arrivee = retour_.acheminer(t)) {
          temps_.planifier(*arrivee, [this, d = std::move(envoi.donnees)](std::int64_t) {
            emetteur_.livrer(0, d);
          });
        }
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
    temps_.planifier(std::llround(heureRendu_ / tauxRecepteur()),
                     [this](std::int64_t tn) { rendre(tn); });
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
  TempsSimule temps_;  // avant l'émetteur, qui y prévoit ses tâches

  std::int64_t sequence_ = 0;

  RecepteurSimule piece_;
  std::vector<float> gauche_, droite_;
  EmetteurSimule emetteur_;
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
