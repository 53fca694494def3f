#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ravlo {

/// Ce que le récepteur a compté depuis son démarrage, tous expéditeurs confondus.
struct CompteursRecepteur {
  std::int64_t appairages = 0;
  std::int64_t paquetsRecus = 0;
  std::int64_t paquetsPerdus = 0;
  std::int64_t paquetsTardifs = 0;
  std::int64_t enveloppesRefusees = 0;
  std::int64_t essaisRefuses = 0;   ///< `debut` refusés d'office : pause ou code épuisé
  std::int64_t essaisEchoues = 0;   ///< codes vérifiés et refusés
  double pauseAppairageS = 0;       ///< ce qui reste de la pause d'appairage
  std::int64_t trousCombles = 0;    ///< pertes remplacées par du silence
  std::int64_t trous = 0;           ///< rendus incomplets après l'amorce
  std::optional<double> latenceMs;  ///< médiane des 10 dernières secondes
  /// De la capture à l'arrivée (bloc capturé, pas d'envoi, réseau), moyenne glissante.
  std::optional<double> arriveeMs;
  std::optional<double> reserveMs;  ///< file de lecture, moyenne de la dernière seconde
  double vitessePPM = 0;
  std::optional<double> cibleMs;
  std::int64_t questionsHorloge = 0;
  std::int64_t reponsesHorloge = 0;
  bool finEnvoyee = false;
  std::optional<std::string> expediteur;  ///< "adresse:port"

  /// Le JSON des statistiques de sortie (les absents valent null).
  [[nodiscard]] std::string json() const;
};

}  // namespace ravlo
