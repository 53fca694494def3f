// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bench/simulation/reseau_simule.hpp"

namespace ravlo::simulation {

/// Ce que l'on fait subir au récepteur simulé.
struct Scenario {
  std::string nom;
  std::uint64_t graine = 1;
  double dureeS = 600.0;
  /// L'horloge du récepteur compte moins vite que celle de l'émetteur de tant de ppm :
  /// la lecture doit accélérer d'autant pour que la file ne monte pas.
  double decalagePPM = 0.0;
  std::int64_t blocTrames = 512;
  ParametresReseau aller;   ///< émetteur → récepteur : son et réponses d'heure
  ParametresReseau retour;  ///< récepteur → émetteur : questions d'heure
  /// Pas de la minuterie d'envoi de l'émetteur (0 : chaque paquet part dès qu'il est plein).
  double minuterieEmetteurMs = 0.0;
};

/// Ce que la simulation a mesuré, le temps vrai pour référence.
struct Resultat {
  double latenceMoyenneMs = 0;  ///< capture → sortie, vraie, sur les rendus sonores
  double latenceP99Ms = 0;
  std::optional<double> latenceEstimeeMs;  ///< ce que le récepteur en dit (`latenceMs`)
  std::int64_t trous = 0;                  ///< file à sec
  double trousParHeure = 0;
  std::int64_t tramesSautees = 0;  ///< rognées à l'amorce ou sautées en rattrapage
  std::int64_t rattrapages = 0;
  std::int64_t paquetsMasques = 0;     ///< absents à leur heure de jeu
  std::int64_t paquetsTardifs = 0;     ///< arrivés après leur heure de jeu : jetés
  std::int64_t paquetsReordonnes = 0;  ///< arrivés dans le désordre, joués à leur place
  std::optional<double> cibleMs;
  double vitesseVraiePPM = 0;
  double vitesseFinalePPM = 0;
  std::optional<double> vitesseMoyenneApres60sPPM;
  /// Correction de vitesse à ±20 ppm de la vraie à chaque seconde, 60 s après le début de
  /// la lecture.
  bool converge = false;
  double ecartMaxApres60sPPM = 0;
  double partDansLaBande = 0;  ///< part des secondes après 60 s à ±20 ppm
  std::optional<double> debutLectureS;
};

}  // namespace ravlo::simulation
