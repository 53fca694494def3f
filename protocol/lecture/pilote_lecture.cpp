#include "protocol/lecture/pilote_lecture.hpp"

#include <algorithm>
#include <cmath>

namespace ravlo {
namespace {

// Tronque vers zéro ; une base absurde (infinie, NaN) ne doit pas rendre la conversion
// indéfinie.
std::int64_t enTrames(double ms) {
  const double trames = ms * PiloteLecture::tramesParMs;
  if (std::isnan(trames)) return 0;
  return static_cast<std::int64_t>(std::clamp(trames, -1e18, 1e18));
}

}  // namespace

PiloteLecture::Consigne PiloteLecture::piloter(const LectureTiree::Etat& etat, InstantNs maintenant,
                                               double gigueMs, double baseMs) {
  if (etat.commencee && !debutLectureNs_) {
    debutLectureNs_ = maintenant;
    regulationPermiseNs_ = maintenant + attenteRegulationNs;
  }
  const bool nouveauTrou = etat.trous != trousVus_;
  if (nouveauTrou) {
    trousVus_ = etat.trous;
    regulationPermiseNs_ = maintenant + attenteRegulationNs;
    supplementJusquaNs_ = maintenant + dureeSupplementNs;
  }
  const bool seconde =
      releve_.noter(maintenant, static_cast<double>(etat.disponibleTrames) / tramesParMs);
  if (!nouveauTrou && !seconde) return {};

  cible_.ajuster(gigueMs, seconde ? 1.0 : 0.0);
  const double cible = ravlo::cibleMs(baseMs, cible_.enveloppeGigueMs);
  cibleMs_ = cible;
  if (!etat.commencee) return {};

  const double supplement = maintenant < supplementJusquaNs_ ? supplementAmorceMs : 0.0;
  const std::int64_t amorce = enTrames(cible + supplement);
  const auto moyenne = releve_.reserveMoyenneMs();
  if (seconde && moyenne) {
    const double vitesse = maintenant >= regulationPermiseNs_
                               ? regulateur_.regler(*moyenne, cible, 1.0)
                               : regulateur_.derivePPM;
    vitessePPM_ = vitesse;
    return Consigne{amorce, vitesse};
  }
  return Consigne{amorce, std::nullopt};
}

void PiloteLecture::retarderRegulation(InstantNs maintenant) {
  regulationPermiseNs_ = maintenant + attenteRegulationNs;
}

}  // namespace ravlo
