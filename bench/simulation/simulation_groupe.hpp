// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "bench/simulation/emetteur_simule.hpp"
#include "bench/simulation/recepteur_simule.hpp"
#include "bench/simulation/reseau_simule.hpp"
#include "protocol/messages/message_groupe.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo::simulation {

/// Une pièce du groupe simulé : son horloge, sa sortie, son réseau.
struct PieceSimulee {
  double decalagePPM = 0;  ///< son horloge compte moins vite que celle de l'émetteur
  double sortieMs = 10;    ///< latence de sa sortie, que le serveur de son lui dit
  std::int64_t blocTrames = 480;
  ParametresReseau aller;
  ParametresReseau retour;
  /// (à S secondes, ms) : la sortie manque de son et reprend d'autant plus tard, sans heure
  /// pendant 100 ms (le temps d'un nouveau relevé du serveur).
  std::vector<std::pair<double, double>> glissements = {};
};

struct ScenarioGroupe {
  std::uint64_t graine = 1;
  double dureeS = 120;
  double mesureApresS = 10;  ///< l'écart entre pièces se compte après
  std::array<PieceSimulee, 2> pieces;
  /// (dès S secondes, latence ms), annoncées à la place de l'accord, toutes les 500 ms et à
  /// chaque changement ; une latence négative n'annonce plus rien. Chaque pièce a alors son
  /// émetteur, une seule voie, qui n'annonce rien. Vide : l'accord de l'émetteur.
  std::vector<std::pair<double, double>> latencesImposees;
};

struct ResultatGroupe {
  double ecartMedianMs = 0;  ///< |A − B| à chaque instant, de la même trame capturée
  double ecartP99Ms = 0;
  double ecartMaxMs = 0;
  double ecartHorsDe1MsS = 0;             ///< temps passé à plus de 1 ms d'écart
  std::array<double, 2> latenceMs{};      ///< capture → son entendu, moyenne après la mesure
  std::optional<double> latenceGroupeMs;  ///< la dernière, que tient la pièce A
  double latenceGroupeMoyenneMs = 0;      ///< tenue par chaque pièce à ses rendus de `latenceMs`
  std::array<std::int64_t, 2> trousApresMesure{};  ///< file à sec
  std::array<std::int64_t, 2> recalages{};
  std::array<std::int64_t, 2> recalagesApresMesure{};
  std::array<std::optional<double>, 2> latenceFinaleMs{};  ///< du dernier rendu
  std::array<std::int64_t, 2> masques{};
  std::array<double, 2> vitesseMoyennePPM{};    ///< celle du pilote, après la mesure
  std::array<CompteursRecepteur, 2> compteurs;  ///< ceux de chaque récepteur, à la fin
  /// La latence du groupe que tient la pièce A à chaque seconde, ms (0 : pas de groupe).
  std::vector<double> groupeParSeconde;
};

/// Un émetteur et deux récepteurs en temps simulé, sur le code même des deux bouts : le
/// `Recepteur` du programme (`RecepteurSimule`) et l'émetteur, ses deux voies et son accord
/// (`EmetteurSimule`). Tout passe en enveloppes scellées par le réseau simulé ; chaque
/// récepteur dit son besoin à son tic, l'émetteur répond aux questions d'heure et annonce la
/// latence du groupe. L'écart entre pièces est la différence, au même instant vrai, de leurs
/// latences de la capture au son entendu.
class SimulationGroupe {
 public:
  static constexpr std::int64_t periodePaquetNs = 6'666'667;
  static constexpr InstantNs origineEmetteur = 3'600'000'000'000;

  explicit SimulationGroupe(ScenarioGroupe s) : s_(std::move(s)) {
    for (std::size_t r = 0; r < 2; ++r) {
      auto& p = r_[r];
      p.aller.emplace(s_.pieces[r].aller, s_.graine * 10 + r * 2 + 1);
      p.retour.emplace(s_.pieces[r].retour, s_.graine * 10 + r * 2 + 2);
      p.origine = 987'654'321'000 + r * 55'555'555'555;
      p.recepteur.emplace();
      p.gauche.resize(static_cast<std::size_t>(s_.pieces[r].blocTrames));
      p.droite.resize(static_cast<std::size_t>(s_.pieces[r].blocTrames));
    }
    // Un émetteur à deux voies ; sous latences imposées, un par pièce. Sa voie v mène à la
    // pièce e + v.
    for (std::size_t e = 0; e < (imposee() ? 2U : 1U); ++e) {
      std::vector<Liaison> liaisons{r_[e].recepteur->liaison};
      if (!imposee()) liaisons.push_back(r_[1].recepteur->liaison);
      emetteurs_.push_back(std::make_unique<EmetteurSimule>(
          temps_, origineEmetteur, liaisons,
          [this, e](std::size_t v, Octets d) { acheminer(e + v, std::move(d)); }));
    }
  }

  ResultatGroupe executer() {
    planifier(0, [this](std::int64_t t) { envoyerPaquet(t); });
    if (imposee()) planifier(0, [this](std::int64_t t) { imposer(t); });
    for (std::size_t r = 0; r < 2; ++r) {
      // Les rendus des deux pièces ne tombent pas ensemble.
      r_[r].heureRendu = static_cast<double>(r) * 3e6;
      planifier(std::llround(r_[r].heureRendu / taux(r)),
                [this, r](std::int64_t t) { rendre(r, t); });
      planifier(static_cast<std::int64_t>(r) * 7'000'000,
                [this, r](std::int64_t t) { cadencer(r, t); });
    }
    temps_.derouler(static_cast<std::int64_t>(s_.dureeS * 1e9));
    return resultat();
  }

 private:
  struct Piece {
    std::optional<ReseauSimule> aller, retour;
    std::optional<RecepteurSimule> recepteur;
    InstantNs origine = 0;
    double heureRendu = 0;  ///< ns de son horloge depuis son origine
    double glisseNs = 0;    ///< ce que la sortie a pris de retard en manquant de son
    std::size_t glissementSuivant = 0;
    std::int64_t sansHeureJusquA = 0;
    std::vector<float> gauche, droite;
    std::optional<double> latenceMs;  ///< du dernier rendu sonore, en temps vrai
    std::optional<std::int64_t> trousDebutMesure;
    std::int64_t recalagesDebutMesure = 0;
    double sommeLatence = 0;
    std::int64_t nombreLatence = 0;
    double sommeVitesse = 0;
    std::int64_t nombreVitesse = 0;
  };

  void planifier(std::int64_t t, TempsSimule::Action action) {
    temps_.planifier(t, std::move(action));
  }
  bool imposee() const { return !s_.latencesImposees.empty(); }

  double taux(std::size_t r) const { return 1.0 - s_.pieces[r].decalagePPM * 1e-6; }
  InstantNs heure(std::size_t r, std::int64_t t) const {
    return r_[r].origine + static_cast<InstantNs>(std::llround(static_cast<double>(t) * taux(r)));
  }

  // Le paquet k, capté à partir de k × 6 666 667 ns, s'écrit dans l'anneau quand il est plein.
  void envoyerPaquet(std::int64_t) {
    const Octets pcm(PaquetAudio::tramesMax * 4, 0x10);
    const auto capture = origineEmetteur + static_cast<InstantNs>(sequence_ * periodePaquetNs);
    for (const auto& e : emetteurs_) e->capter(pcm, capture);
    ++sequence_;
    planifier((sequence_ + 1) * periodePaquetNs, [this](std::int64_t tn) { envoyerPaquet(tn); });
  }

  // Ce qu'une voie envoie à la pièce r, parti maintenant.
  void acheminer(std::size_t r, Octets scelle) {
    if (const auto arrivee = r_[r].aller->acheminer(temps_.maintenant())) {
      planifier(*arrivee, [this, r, scelle = std::move(scelle)](std::int64_t ta) {
        r_[r].recepteur->recevoir(scelle, heure(r, ta));
      });
    }
  }

  std::optional<std::uint64_t> latenceImposee(std::int64_t t) const {
    std::optional<std::uint64_t> l;
    for (const auto& [depuisS, ms] : s_.latencesImposees) {
      if (static_cast<double>(t) >= depuisS * 1e9)
        l = ms < 0 ? std::nullopt : std::optional(static_cast<std::uint64_t>(ms * 1e6));
    }
    return l;
  }

  // À la place de l'accord, toutes les 100 ms : ce que l'émetteur d'un groupe enverrait.
  void imposer(std::int64_t t) {
    const auto l = latenceImposee(t);
    if (l && (l != latenceImposee(t - 100'000'000) || t % 500'000'000 == 0)) {
      for (std::size_t r = 0; r < 2; ++r)
        acheminer(r, r_[r].recepteur->sceller(MessageGroupe::latence(*l, 2).encoder(),
                                              SorteEnveloppe::horloge));
    }
    planifier(t + 100'000'000, [this](std::int64_t tn) { imposer(tn); });
  }

  // Le tic de 200 ms d'un récepteur : sa question d'heure et son besoin, vers sa voie.
  void cadencer(std::size_t r, std::int64_t t) {
    auto& p = r_[r];
    for (Envoi& envoi : p.recepteur->recepteur.cadencer(heure(r, t))) {
      if (const auto arrivee = p.retour->acheminer(t)) {
        planifier(*arrivee, [this, r, d = std::move(envoi.donnees)](std::int64_t) {
          emetteurs_[imposee() ? r : 0]->livrer(imposee() ? 0 : r, d);
        });
      }
    }
    if (r == 0 && t >= static_cast<std::int64_t>(groupeParSeconde_.size()) * 1'000'000'000) {
      groupeParSeconde_.push_back(latenceGroupeMs(0, t).value_or(0));
    }
    if (trace_) {
      const auto c = p.recepteur->recepteur.compteurs();
      std::fprintf(stderr,
                   "%7.2f r%zu lat %6.2f dite %6.2f cible %6.2f besoin %6.2f groupe %6.2f "
                   "v %+7.1f trous %lld rec %lld\n",
                   static_cast<double>(t) / 1e9, r, p.latenceMs.value_or(0),
                   c.latenceMs.value_or(0), c.cibleMs.value_or(0), c.besoinMs.value_or(0),
                   c.latenceGroupeMs.value_or(0), c.vitessePPM, static_cast<long long>(c.trous),
                   static_cast<long long>(c.recalages));
    }
    planifier(t + static_cast<std::int64_t>(200'000'000 / taux(r)),
              [this, r](std::int64_t tn) { cadencer(r, tn); });
  }

  void rendre(std::size_t r, std::int64_t t) {
    auto& p = r_[r];
    const auto& piece = s_.pieces[r];
    const InstantNs h = p.origine + static_cast<InstantNs>(std::llround(p.heureRendu));
    if (p.glissementSuivant < piece.glissements.size() &&
        static_cast<double>(t) >= piece.glissements[p.glissementSuivant].first * 1e9) {
      p.glisseNs += piece.glissements[p.glissementSuivant++].second * 1e6;
      p.sansHeureJusquA = t + 100'000'000;
    }
    const auto sortieNs = static_cast<InstantNs>(piece.sortieMs * 1e6 + p.glisseNs);
    const std::optional<InstantNs> heureSortie =
        t >= p.sansHeureJusquA ? std::optional(h + sortieNs) : std::nullopt;
    const std::int64_t rendues =
        p.recepteur->lecture->tirer(piece.blocTrames, p.gauche, p.droite, heureSortie).rendues;
    const auto etat = p.recepteur->lecture->etat();
    if (rendues > 0 && heureSortie && etat.dernierRendu &&
        etat.dernierRendu->heureNs == *heureSortie) {
      const double entendu = static_cast<double>(t) + static_cast<double>(sortieNs) / taux(r);
      const auto capture = static_cast<double>(etat.dernierRendu->captureNs - origineEmetteur);
      p.latenceMs = (entendu - capture) / 1e6;
      if (static_cast<double>(t) >= s_.mesureApresS * 1e9) {
        p.sommeLatence += *p.latenceMs;
        ++p.nombreLatence;
        sommeGroupe_ += latenceGroupeMs(r, t).value_or(0);
        ++nombreGroupe_;
      }
    }
    if (static_cast<double>(t) >= s_.mesureApresS * 1e9) {
      p.sommeVitesse += p.recepteur->recepteur.vitessePPM();
      ++p.nombreVitesse;
    }
    // Ce qui précède la mesure ne compte pas.
    if (static_cast<double>(t) >= s_.mesureApresS * 1e9 && !p.trousDebutMesure) {
      p.trousDebutMesure = etat.trous;
      p.recalagesDebutMesure = etat.recalages;
    }
    noterEcart(t);
    p.heureRendu += static_cast<double>(piece.blocTrames) * 1e9 / 48'000.0 /
                    (1.0 + p.recepteur->recepteur.vitessePPM() * 1e-6);
    planifier(std::llround(p.heureRendu / taux(r)), [this, r](std::int64_t tn) { rendre(r, tn); });
  }

  // Celle que tient la pièce r, faute de lire l'accord de l'émetteur.
  std::optional<double> latenceGroupeMs(std::size_t r, std::int64_t t) const {
    if (!imposee()) return r_[r].recepteur->recepteur.compteurs().latenceGroupeMs;
    const auto l = latenceImposee(t);
    return l ? std::optional(static_cast<double>(*l) / 1e6) : std::nullopt;
  }

  void noterEcart(std::int64_t t) {
    if (static_cast<double>(t) < s_.mesureApresS * 1e9) return;
    if (!r_[0].latenceMs || !r_[1].latenceMs) return;
    ecarts_.push_back(std::abs(*r_[0].latenceMs - *r_[1].latenceMs));
    if (ecarts_.back() > 1.0 && dernierEcart_) horsDe1MsNs_ += t - *dernierEcart_;
    dernierEcart_ = t;
  }

  ResultatGroupe resultat() {
    ResultatGroupe res;
    if (!ecarts_.empty()) {
      std::sort(ecarts_.begin(), ecarts_.end());
      res.ecartMedianMs = ecarts_[ecarts_.size() / 2];
      res.ecartP99Ms =
          ecarts_[static_cast<std::size_t>(0.99 * static_cast<double>(ecarts_.size()))];
      res.ecartMaxMs = ecarts_.back();
    }
    res.ecartHorsDe1MsS = static_cast<double>(horsDe1MsNs_) / 1e9;
    res.latenceGroupeMs = latenceGroupeMs(0, static_cast<std::int64_t>(s_.dureeS * 1e9));
    res.groupeParSeconde = groupeParSeconde_;
    if (nombreGroupe_ > 0) res.latenceGroupeMoyenneMs = sommeGroupe_ / nombreGroupe_;
    for (std::size_t r = 0; r < 2; ++r) {
      const auto etat = r_[r].recepteur->lecture->etat();
      res.latenceMs[r] = r_[r].nombreLatence > 0
                             ? r_[r].sommeLatence / static_cast<double>(r_[r].nombreLatence)
                             : 0;
      res.trousApresMesure[r] = etat.trous - r_[r].trousDebutMesure.value_or(etat.trous);
      res.recalages[r] = etat.recalages;
      res.recalagesApresMesure[r] = etat.recalages - r_[r].recalagesDebutMesure;
      res.latenceFinaleMs[r] = r_[r].latenceMs;
      res.masques[r] = etat.masques;
      res.compteurs[r] = r_[r].recepteur->recepteur.compteurs();
      if (r_[r].nombreVitesse > 0)
        res.vitesseMoyennePPM[r] = r_[r].sommeVitesse / static_cast<double>(r_[r].nombreVitesse);
    }
    return res;
  }

  ScenarioGroupe s_;
  TempsSimule temps_;  // avant les émetteurs, qui y prévoient leurs tâches
  std::array<Piece, 2> r_;
  std::vector<std::unique_ptr<EmetteurSimule>> emetteurs_;
  std::int64_t sequence_ = 0;
  std::vector<double> ecarts_;
  std::optional<std::int64_t> dernierEcart_;
  std::int64_t horsDe1MsNs_ = 0;
  double sommeGroupe_ = 0;
  double nombreGroupe_ = 0;
  std::vector<double> groupeParSeconde_;
  bool trace_ = std::getenv("RAVLO_TRACE_GROUPE") != nullptr;
};

}  // namespace ravlo::simulation
