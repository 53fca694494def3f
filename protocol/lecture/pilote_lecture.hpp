#pragma once

#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"
#include "protocol/lecture/cible_reserve.hpp"
#include "protocol/lecture/lecture_tiree.hpp"
#include "protocol/lecture/regulateur_vitesse.hpp"
#include "protocol/lecture/releve_reserve.hpp"

namespace ravlo {

/// Pilote de la lecture tirée : une fois par seconde d'échantillons de réserve, ou tout de
/// suite après un trou, recalcule la réserve visée (`cibleMs` = base + enveloppe de gigue +
/// 35 ms), dit à la lecture quelle amorce prendre et, quand la régulation est permise, quelle
/// correction de vitesse appliquer.
///
/// Pendant les 3 premières secondes de lecture et 3 s après chaque trou, le régulateur est
/// tenu à son terme intégral ; après un trou, l'amorce porte 20 ms de plus pendant 3 s.
///
/// Exemple : `cibleMs` 60 ; juste après un trou, `amorceTrames` 3840 (80 ms × 48) ; plus
/// de 3 s après, 2880.
class PiloteLecture {
 public:
  /// Ce que la lecture doit appliquer ; absent = rien à changer.
  struct Consigne {
    std::optional<std::int64_t> amorceTrames;
    std::optional<double> vitessePPM;
    bool operator==(const Consigne&) const = default;
  };

  static constexpr double tramesParMs = 48.0;
  static constexpr double supplementAmorceMs = 20.0;
  static constexpr std::uint64_t dureeSupplementNs = 3'000'000'000;
  static constexpr std::uint64_t attenteRegulationNs = 3'000'000'000;
  /// 80 ms, à l'usage de l'appelant. Amorcer d'emblée si haut coûte l'excédent jusqu'à ce
  /// que le régulateur l'ait résorbé, à 1 ms par seconde au plus.
  static constexpr std::int64_t amorceInitialeTrames = 3840;

  /// `etat` : l'instantané de la lecture ; `gigueMs` : la gigue du moment ; `baseMs` : la
  /// base de la réserve visée (voir `baseMs(blocTrames, minimumMs)`).
  Consigne piloter(const LectureTiree::Etat& etat, InstantNs maintenant, double gigueMs,
                   double baseMs);

  /// Tient le régulateur pendant 3 s à partir de maintenant.
  void retarderRegulation(InstantNs maintenant);

  [[nodiscard]] double vitessePPM() const { return vitessePPM_; }
  [[nodiscard]] std::optional<double> cibleMs() const { return cibleMs_; }
  [[nodiscard]] std::optional<InstantNs> debutLectureNs() const { return debutLectureNs_; }
  [[nodiscard]] const ReleveReserve& releve() const { return releve_; }
  [[nodiscard]] const CibleReserve& cible() const { return cible_; }

 private:
  ReleveReserve releve_;
  CibleReserve cible_;
  RegulateurVitesse regulateur_;
  double vitessePPM_ = 0;
  std::optional<double> cibleMs_;
  std::optional<InstantNs> debutLectureNs_;
  std::int64_t trousVus_ = 0;
  InstantNs regulationPermiseNs_ = 0;
  InstantNs supplementJusquaNs_ = 0;
};

}  // namespace ravlo
