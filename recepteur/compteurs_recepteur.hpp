// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ravlo {

/// Ce que le récepteur a compté depuis son démarrage, tous expéditeurs confondus.
struct CompteursRecepteur {
  std::int64_t appairages = 0;          ///< reprises comprises
  std::int64_t reprises = 0;            ///< appairages mémorisés repris sans code
  std::int64_t reprisesEchouees = 0;    ///< reprises sous un secret faux
  std::int64_t paquetsRecus = 0;        ///< rangés dans la file
  std::int64_t paquetsPerdus = 0;       ///< absents à leur heure de jeu : masqués
  std::int64_t paquetsTardifs = 0;      ///< arrivés après leur heure de jeu : jetés
  std::int64_t paquetsReordonnes = 0;   ///< arrivés après un plus récent, joués à leur place
  std::int64_t rattrapages = 0;         ///< sauts du son le plus ancien, en fondu enchaîné
  std::int64_t enveloppesRefusees = 0;  ///< tout datagramme refusé, écartés compris
  /// Écartés avant tout décodage ou déchiffrement : forme, taille, rien à ouvrir, ou une autre
  /// source que l'expéditeur au-delà de sa part.
  std::int64_t datagrammesEcartes = 0;
  std::int64_t essaisRefuses = 0;  ///< `debut` refusés d'office : pause ou code épuisé
  std::int64_t essaisEchoues = 0;  ///< codes vérifiés et refusés
  double pauseAppairageS = 0;      ///< ce qui reste de la pause d'appairage
  std::int64_t codesDits = 0;      ///< demandes d'entendre le code servies
  /// Demandes d'entendre le code écartées : trop tôt, pendant la voix, sans code à donner.
  std::int64_t demandesCodeRefusees = 0;
  std::int64_t trous = 0;  ///< file à sec en pleine lecture
  /// De la capture au son entendu, médiane des 10 dernières secondes, sur le décalage
  /// d'horloges même que tient le pilote.
  std::optional<double> latenceMs;
  /// De la capture à l'arrivée (bloc capturé, pas d'envoi, réseau), moyenne glissante.
  std::optional<double> arriveeMs;
  /// Avance de la file (arrivée → heure de jeu, pour le paquet le plus prompt), moyenne de
  /// la dernière seconde.
  std::optional<double> reserveMs;
  double vitessePPM = 0;
  std::optional<double> cibleMs;
  /// La latence que l'émetteur fixe à son groupe de pièces, tant qu'il y en a un.
  std::optional<double> latenceGroupeMs;
  std::optional<double> besoinMs;  ///< ce que ce récepteur demande au groupe
  std::int64_t recalages = 0;      ///< sauts ou retenues de la tête pour tenir l'heure du groupe
  /// Annonces d'une latence de groupe plus haute que la file ne tient : ignorées.
  std::int64_t latencesGroupeRefusees = 0;
  /// Le serveur de son a joué du silence faute de ce que la sortie lui devait ; absent quand
  /// la sortie ne le sait pas.
  std::optional<std::int64_t> sousAlimentationsSortie;
  /// Ce que la sortie demande au serveur de tenir en ce moment, ms ; absent quand elle ne
  /// le règle pas.
  std::optional<double> latenceSortieMs;
  /// La sortie perdue avec son serveur de son puis rouverte sur le serveur revenu.
  std::int64_t reprisesSortie = 0;
  /// Le texte brut de la dernière erreur de la sortie (celle du serveur de son), pour le
  /// diagnostic : l'utilisateur, lui, la lit traduite.
  std::optional<std::string> erreurSortie;
  /// La file de réception de la socket que le système a fixée, relue ; absente sans socket.
  std::optional<std::int64_t> tamponReceptionOctets;
  std::int64_t questionsHorloge = 0;
  std::int64_t reponsesHorloge = 0;
  bool finEnvoyee = false;
  std::optional<std::string> expediteur;  ///< "adresse:port"

  /// Le JSON des statistiques de sortie (les absents valent null).
  [[nodiscard]] std::string json() const;
};

}  // namespace ravlo
