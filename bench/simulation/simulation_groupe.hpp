// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <queue>
#include <utility>
#include <vector>

#include "bench/simulation/recepteur_simule.hpp"
#include "bench/simulation/reseau_simule.hpp"
#include "link/diffusion/accord_groupe.hpp"

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
  /// chaque changement ; une latence négative n'annonce plus rien. Vide : l'accord de
  /// l'émetteur.
  std::vector<std::pair<double, double>> latencesImposees;
};

struct ResultatGroupe {
  double ecartMedianMs = 0;  ///< |A − B| à chaque instant, de la même trame capturée
  double ecartP99Ms = 0;
  double ecartMaxMs = 0;
  double ecartHorsDe1MsS = 0;             ///< temps passé à plus de 1 ms d'écart
  std::array<double, 2> latenceMs{};      ///< capture → son entendu, moyenne après la mesure
  std::optional<double> latenceGroupeMs;  ///< la dernière
  double latenceGroupeMoyenneMs = 0;      ///< aux mêmes rendus que `latenceMs`
  std::array<std::int64_t, 2> trousApresMesure{};  ///< file à sec
  std::array<std::int64_t, 2> recalages{};
  std::array<std::int64_t, 2> recalagesApresMesure{};
  std::array<std::optional<double>, 2> latenceFinaleMs{};  ///< du dernier rendu
  std::array<std::int64_t, 2> masques{};
  std::array<double, 2> vitesseMoyennePPM{};    ///< celle du pilote, après la mesure
  std::array<CompteursRecepteur, 2> compteurs;  ///< ceux de chaque récepteur, à la fin
};

/// Un émetteur et deux récepteurs en temps simulé, sur le `Recepteur` même du programme
/// (`RecepteurSimule`) et l'accord de l'émetteur (`AccordGroupe`) : tout passe en enveloppes
/// scellées ; chaque récepteur dit son besoin à son tic, l'émetteur répond aux questions
/// d'heure et annonce la latence du groupe toutes les 100 ms de son accord. L'écart entre pièces
/// est la différence, au même instant vrai, de leurs latences de la capture au son entendu.
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
  }

  ResultatGroupe executer() {
    planifier(0, [this](std::int64_t t) { envoyerPaquet(t); });
    planifier(0, [this](std::int64_t t) { accorder(t); });
    for (std::size_t r = 0; r < 2; ++r) {
      // Les rendus des deux pièces ne tombent pas ensemble.
      r_[r].heureRendu = static_cast<double>(r) * 3e6;
      planifier(std::llround(r_[r].heureRendu / taux(r)),
                [this, r](std::int64_t t) { rendre(r, t); });
      planifier(static_cast<std::int64_t>(r) * 7'000'000,
                [this, r](std::int64_t t) { cadencer(r, t); });
    }
    const auto fin = static_cast<std::int64_t>(s_.dureeS * 1e9);
    while (!file_.empty() && file_.top().t < fin) {
      auto e = file_.top();
      file_.pop();
      e.action(e.t);
    }
    return resultat();
  }

 private:
  struct Evenement {
    std::int64_t t = 0;
    std::uint64_t ordre = 0;
    std::function<void(std::int64_t)> action;
    bool operator>(const Evenement& autre) const {
      return t != autre.t ? t > autre.t : ordre > autre.ordre;
    }
  };

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
    std::optional<std::uint64_t> besoinNs;
    std::int64_t besoinRecuNs = 0;
    std::optional<std::int64_t> trousDebutMesure;
    std::int64_t recalagesDebutMesure = 0;
    double sommeLatence = 0;
    std::int64_t nombreLatence = 0;
    double sommeVitesse = 0;
    std::int64_t nombreVitesse = 0;
  };

  void planifier(std::int64_t t, std::function<void(std::int64_t)> action) {
    file_.push(Evenement{t, ordre_++, std::move(action)});
  }

  double taux(std::size_t r) const { return 1.0 - s_.pieces[r].decalagePPM * 1e-6; }
  InstantNs heure(std::size_t r, std::int64_t t) const {
    return r_[r].origine + static_cast<InstantNs>(std::llround(static_cast<double>(t) * taux(r)));
  }

  void envoyerPaquet(std::int64_t t) {
    const std::int64_t capture = sequence_ * periodePaquetNs;
    Octets pcm(PaquetAudio::tramesMax * 4, 0x10);
    const auto paquet =
        PaquetAudio::creer(static_cast<std::uint32_t>(sequence_),
                           origineEmetteur + static_cast<InstantNs>(capture), std::move(pcm));
    for (std::size_t r = 0; r < 2; ++r) {
      if (const auto arrivee = r_[r].aller->acheminer(t)) {
        planifier(*arrivee, [this, r, scelle = r_[r].recepteur->paquet(*paquet)](std::int64_t ta) {
          r_[r].recepteur->recevoir(scelle, heure(r, ta));
        });
      }
    }
    ++sequence_;
    planifier((sequence_ + 1) * periodePaquetNs, [this](std::int64_t tn) { envoyerPaquet(tn); });
  }

  std::optional<std::uint64_t> latenceImposee(std::int64_t t) const {
    std::optional<std::uint64_t> l;
    for (const auto& [depuisS, ms] : s_.latencesImposees) {
      if (static_cast<double>(t) >= depuisS * 1e9)
        l = ms < 0 ? std::nullopt : std::optional(static_cast<std::uint64_t>(ms * 1e6));
    }
    return l;
  }

  std::optional<std::uint64_t> latenceAnnoncee(std::int64_t t) {
    if (s_.latencesImposees.empty()) {
      std::optional<std::uint64_t> besoin;
      for (auto& p : r_) {
        // Comme la voie : un besoin de moins de 3 s, admis.
        if (p.besoinNs && t - p.besoinRecuNs <= 3'000'000'000 &&
            AccordGroupe::besoinAdmis(*p.besoinNs)) {
          besoin = std::max(besoin.value_or(0), *p.besoinNs);
        }
      }
      return accord_.accorder(2, besoin, origineEmetteur + static_cast<InstantNs>(t));
    }
    const auto l = latenceImposee(t);
    if (l != latenceImposee(t - 100'000'000) || t % 500'000'000 == 0) return l;
    return std::nullopt;
  }

  void accorder(std::int64_t t) {
    if (const auto latence = latenceAnnoncee(t)) {
      for (std::size_t r = 0; r < 2; ++r) {
        if (const auto arrivee = r_[r].aller->acheminer(t)) {
          const Octets scelle = r_[r].recepteur->sceller(
              MessageGroupe::latence(*latence, 2).encoder(), SorteEnveloppe::horloge);
          planifier(*arrivee, [this, r, scelle](std::int64_t ta) {
            r_[r].recepteur->recevoir(scelle, heure(r, ta));
          });
        }
      }
    }
    planifier(t + 100'000'000, [this](std::int64_t tn) { accorder(tn); });
  }

  // Le tic de 200 ms d'un récepteur : sa question d'heure, à laquelle l'émetteur répond à
  // l'arrivée, et son besoin.
  void cadencer(std::size_t r, std::int64_t t) {
    auto& p = r_[r];
    const InstantNs h = heure(r, t);
    for (const Envoi& envoi : p.recepteur->recepteur.cadencer(h)) {
      const auto message = p.recepteur->ouvrir(envoi);
      const auto arrivee = message ? p.retour->acheminer(t) : std::nullopt;
      if (!arrivee) continue;
      if (const auto* question = std::get_if<MessageHorloge>(&*message)) {
        planifier(*arrivee, [this, r, question = *question](std::int64_t tq) {
          const auto reponse = question.reponse(origineEmetteur + static_cast<InstantNs>(tq),
                                                origineEmetteur + static_cast<InstantNs>(tq));
          if (const auto retour = r_[r].aller->acheminer(tq)) {
            planifier(*retour, [this, r,
                                scelle = r_[r].recepteur->sceller(
                                    reponse.encoder(), SorteEnveloppe::horloge)](std::int64_t tr) {
              r_[r].recepteur->recevoir(scelle, heure(r, tr));
            });
          }
        });
      } else if (const auto& g = std::get<MessageGroupe>(*message);
                 g.sorte == MessageGroupe::Sorte::besoin) {
        planifier(*arrivee, [this, r, ns = g.a](std::int64_t tb) {
          r_[r].besoinNs = ns;
          r_[r].besoinRecuNs = tb;
        });
      }
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
        sommeGroupe_ += static_cast<double>(latenceGroupeNs(t).value_or(0)) / 1e6;
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

  std::optional<std::uint64_t> latenceGroupeNs(std::int64_t t) const {
    return s_.latencesImposees.empty() ? accord_.latenceNs() : latenceImposee(t);
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
    const auto groupe = latenceGroupeNs(static_cast<std::int64_t>(s_.dureeS * 1e9));
    res.latenceGroupeMs = groupe ? std::optional(static_cast<double>(*groupe) / 1e6) : std::nullopt;
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
  std::array<Piece, 2> r_;
  AccordGroupe accord_;
  std::priority_queue<Evenement, std::vector<Evenement>, std::greater<>> file_;
  std::uint64_t ordre_ = 0;
  std::int64_t sequence_ = 0;
  std::vector<double> ecarts_;
  std::optional<std::int64_t> dernierEcart_;
  std::int64_t horsDe1MsNs_ = 0;
  double sommeGroupe_ = 0;
  double nombreGroupe_ = 0;
  bool trace_ = std::getenv("RAVLO_TRACE_GROUPE") != nullptr;
};

}  // namespace ravlo::simulation
