// SPDX-License-Identifier: MPL-2.0
// Deux pièces en groupe, en temps simulé sur le code même des deux bouts : leurs horloges
// dérivent en sens contraires, leurs sorties n'ont pas la même latence, et chaque trame
// s'entend pourtant au même instant dans les deux.
#include <gtest/gtest.h>

#include "bench/simulation/simulation_groupe.hpp"

namespace ravlo::simulation {
namespace {

// Des rafales (pendant `rafaleMs`, rien ne passe) toutes les 20 s.
ParametresReseau reseau(double etalementMs, double perte = 0, double rafaleMs = 0) {
  return {.delaiMs = 1.0,
          .etalementMs = etalementMs,
          .perte = perte,
          .rafaleToutesLesS = rafaleMs > 0 ? 20.0 : 0.0,
          .rafaleMs = rafaleMs};
}

TEST(Groupe, DeuxPiecesAuxHorlogesContrairesJouentEnsemble) {
  struct Cas {
    const char* nom;
    double ppm;
    double etalementMs;
    double perte = 0;
    std::uint64_t graines = 1;
    /// Sur l'aller de la pièce A seule : rien ne passe de tout ce temps, toutes les 20 s.
    double rafaleMs = 0;
  };
  // Sous 10 ms de gigue, l'échange d'heures seul se trompe d'1 à 2 ms : l'écart entre pièces
  // dépend alors du suivi du décalage et de l'alignement de chaque pièce à son entrée.
  // Les rafales tarissent la file de A : le groupe monte d'un coup de 100 ms, et B doit tenir
  // ce saut au-delà de son rattrapage.
  for (const Cas& c : {Cas{"mêmes horloges", 0, 0.3}, Cas{"±100 ppm, gigue 2 ms", 100, 2},
                       Cas{"±100 ppm, gigue 10 ms, pertes 1 %", 100, 10, 0.01, 8},
                       Cas{"±100 ppm, gigue 2 ms, rafales de 150 ms", 100, 2, 0, 6, 150}}) {
    for (std::uint64_t graine = 1; graine <= c.graines; ++graine) {
      SCOPED_TRACE(c.nom);
      SCOPED_TRACE(graine);
      ScenarioGroupe s;
      s.graine = graine;
      s.dureeS = 120;
      const ParametresReseau chemin = reseau(c.etalementMs, c.perte);
      s.pieces[0] = {+c.ppm, 15, 480, reseau(c.etalementMs, c.perte, c.rafaleMs), chemin};
      s.pieces[1] = {-c.ppm, 30, 240, chemin, chemin};
      const auto r = SimulationGroupe(s).executer();
      EXPECT_LE(r.ecartMedianMs, 0.5);
      // A tarie puis réamorcée se tait, le temps de remplir sa file : hors de ce temps, 1 ms.
      EXPECT_LE(r.ecartP99Ms, c.rafaleMs > 0 ? 3.0 : 1.0);
      if (c.rafaleMs == 0) {
        EXPECT_EQ(r.trousApresMesure[0], 0);
      }
      EXPECT_EQ(r.trousApresMesure[1], 0);
      ASSERT_TRUE(r.latenceGroupeMs);
      // La sortie la plus lente fixe la latence de tous : la pièce rapide attend.
      EXPECT_GT(*r.latenceGroupeMs, 30.0);
      // Sous gigue, la latence du groupe bouge (par pas de 4 ms) : chaque pièce la suit.
      EXPECT_NEAR(r.latenceMs[0], r.latenceGroupeMoyenneMs, 1.0);
      EXPECT_NEAR(r.latenceMs[1], r.latenceGroupeMoyenneMs, 1.0);
    }
  }
}

// Quand la latence du groupe descend de 4 puis de 8 ms, chaque pièce la rejoint en jouant
// plus vite, sans saut ni trou, et les deux restent ensemble. Une sortie qui manque de son
// reprend d'autant plus tard, sans heure le temps d'un relevé : sa pièce rejoint l'autre dès
// son premier rendu daté, qu'elle ait glissé de moins que le seuil de recalage (le régulateur
// y mettrait des secondes) ou de plus (la seconde de mesure, une à deux) ; chacun des trois
// glissements se voit à plus d'1 ms jusqu'au tic qui suit son relevé (la simulation ne
// mesure pas l'écart pendant les 100 ms sans heure).
TEST(Groupe, UneHeureQuiBougeSeRejointEnsemble) {
  for (const double glisseMs : {0.0, 2.5, 9.0}) {
    SCOPED_TRACE(glisseMs);
    const bool descente = glisseMs == 0;
    const double gigueMs = descente ? 2 : 0.3;
    ScenarioGroupe s;
    s.dureeS = descente ? 100 : 70;
    s.mesureApresS = 30;
    s.pieces[0] = {
        +100, 10, 480, reseau(gigueMs), reseau(gigueMs), {{40, glisseMs}, {55, glisseMs}}};
    s.pieces[1] = {
        -100, descente ? 12.0 : 15.0, 240, reseau(gigueMs), reseau(gigueMs), {{48, glisseMs}}};
    if (descente) s.latencesImposees = {{0, 52}, {40, 48}, {60, 40}};
    const auto r = SimulationGroupe(s).executer();
    EXPECT_LE(r.ecartMedianMs, 0.5);
    EXPECT_LE(descente ? r.ecartP99Ms : r.ecartHorsDe1MsS, descente ? 1.0 : 3 * 0.25);
    ASSERT_TRUE(r.latenceGroupeMs);
    for (std::size_t p = 0; p < 2; ++p) {
      SCOPED_TRACE(p);
      EXPECT_EQ(descente ? r.recalagesApresMesure[p] : 0, 0) << "la descente, sans saut";
      EXPECT_EQ(r.trousApresMesure[p], 0);
      ASSERT_TRUE(r.latenceFinaleMs[p]);
      EXPECT_NEAR(*r.latenceFinaleMs[p], descente ? 40.0 : *r.latenceGroupeMs, 0.5);
    }
  }
}

// Le fil d'une pièce s'arrête (rien reçu de tout ce temps) et sa sortie reprend d'autant plus
// tard : au-delà de ce que l'heure du groupe lui laisse, la pièce apprend son nouveau retard
// d'un coup, le groupe monte, et elle le rejoint en quelques secondes, sans rester à masquer
// un paquet sur trois (un saut impossible redemandé à chaque rendu, une retenue jetée pendant
// chaque fondu l'y tenaient jusqu'au bout).
TEST(Groupe, UnePieceArreteeRejointLeGroupe) {
  for (const double arretMs : {30.0, 60.0}) {
    SCOPED_TRACE(arretMs);
    ScenarioGroupe s;
    s.dureeS = 60;
    s.mesureApresS = 29;
    s.pieces[0] = {0, 15, 480, reseau(0.3), reseau(0.3), {{30 + arretMs / 1000, arretMs}}};
    s.pieces[0].aller.arrets = {{30, arretMs}};
    s.pieces[1] = {0, 15, 240, reseau(0.3), reseau(0.3)};
    const auto r = SimulationGroupe(s).executer();
    EXPECT_LE(r.ecartHorsDe1MsS, 3.0);
    EXPECT_LE(r.trousApresMesure[0], 1);
    EXPECT_LT(r.masques[0], 150);
    ASSERT_TRUE(r.latenceGroupeMs);
    for (std::size_t p = 0; p < 2; ++p) {
      ASSERT_TRUE(r.latenceFinaleMs[p]);
      EXPECT_NEAR(*r.latenceFinaleMs[p], *r.latenceGroupeMs, 0.5) << p;
    }
  }
}

// Une latence de groupe que la file tient (la borne, 6,7 s) se tient. Une plus haute (10 s,
// 2⁶³ ns, presque 2⁶⁴ ns) est refusée et comptée par chaque récepteur, et une annonce qui
// cesse ne tient plus 3 s après : chaque pièce joue seule, à sa propre cible, sans trou, et sa
// vitesse continue d'apprendre la dérive de son horloge, plutôt que de rester figée en
// demandant chaque seconde un recalage impossible.
TEST(Groupe, UneHeureHorsDePorteeOuTueLaisseChaquePieceSeuleEtReglee) {
  struct Ligne {
    const char* nom;
    std::vector<std::pair<double, double>> latences;
    bool tenue = false;
  };
  const double borne = static_cast<double>(MessageGroupe::latenceMaxNs) / 1e6;
  for (const Ligne& l :
       {Ligne{"la borne", {{0, borne}}, true}, Ligne{"10 s", {{0, 10'004.0}}},
        Ligne{"2⁶³ ns", {{0, 0x1p63 / 1e6}}}, Ligne{"presque 2⁶⁴ ns", {{0, 1.8e13}}},
        Ligne{"tue à 30 s", {{0, 80}, {30, -1}}}}) {
    SCOPED_TRACE(l.nom);
    ScenarioGroupe s;
    s.dureeS = 90;
    s.mesureApresS = 60;
    s.pieces[0] = {+300, 10, 480, reseau(2), reseau(2)};
    s.pieces[1] = {-300, 15, 240, reseau(2), reseau(2)};
    s.latencesImposees = l.latences;
    const auto r = SimulationGroupe(s).executer();
    for (std::size_t p = 0; p < 2; ++p) {
      SCOPED_TRACE(p);
      EXPECT_EQ(r.trousApresMesure[p], 0);
      if (l.tenue) {
        EXPECT_NEAR(r.latenceMs[p], borne, 1.0);
      } else {
        EXPECT_GT(r.latenceMs[p], 10.0) << "elle joue";
        EXPECT_LT(r.latenceMs[p], 60.0) << "seule, à sa propre cible";
        EXPECT_FALSE(r.compteurs[p].latenceGroupeMs);
        EXPECT_EQ(r.compteurs[p].latencesGroupeRefusees > 0, l.latences[0].second > borne);
      }
      EXPECT_NEAR(r.vitesseMoyennePPM[p], s.pieces[p].decalagePPM, 60.0) << "la dérive apprise";
    }
  }
}

}  // namespace
}  // namespace ravlo::simulation
