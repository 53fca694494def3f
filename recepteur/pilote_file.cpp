#include "recepteur/pilote_file.hpp"

#include <cmath>

namespace ravlo {

PiloteFile::PiloteFile(std::shared_ptr<FileLecture> file) : file_(std::move(file)) {}

FileLecture::Placement PiloteFile::recevoir(const PaquetAudio& paquet, InstantNs maintenant) {
  const InstantNs capture = paquet.horodatageNanosecondes();
  const auto placement = file_->placer(paquet.sequence(), capture, paquet.echantillons());
  if (placement.sort == FileLecture::Sort::invalide) return placement;
  // Le rang dans le flux plutôt que l'heure de capture : l'émetteur date ses blocs à la
  // milliseconde près, et un pas de sa datation se lirait comme de la gigue.
  const auto trames =
      static_cast<std::int64_t>(paquet.echantillons().size() / PaquetAudio::octetsParTrame);
  const InstantNs rang =
      static_cast<InstantNs>(paquet.sequence()) *
      static_cast<InstantNs>(std::llround(static_cast<double>(trames) * 1e9 / 48'000.0));
  const double retard = cible_.noter(rang, maintenant);
  if (placement.sort == FileLecture::Sort::place) {
    tramesPaquet_ = trames;
    if (placement.enLecture) {
      const double reserve = static_cast<double>(placement.avanceTrames) / tramesParMs;
      reserve_.noter(maintenant, reserve);
      if (releve_.noter(maintenant, reserve + retard)) secondeClose_ = true;
    } else if (placement.apresTrou) {
      // Le paquet qui met fin à une file tarie dit le retard qu'il fallait couvrir ; après
      // une coupure (des paquets perdus, pas en retard), il est petit et ne relève rien.
      cible_.relever(retard, maintenant);
      viser(maintenant, file_->etat());
    }
  } else if (placement.sort == FileLecture::Sort::tardif && placement.enLecture) {
    cible_.relever(retard, maintenant);
    viser(maintenant, file_->etat());
  }
  return placement;
}

void PiloteFile::viser(InstantNs maintenant, const FileLecture::Etat& etat) {
  const double blocMs = static_cast<double>(etat.blocTrames.value_or(0)) / tramesParMs;
  const double cible = cible_.cibleMs(blocMs, maintenant).value_or(cibleDepartMs);
  cibleMs_ = cible;
  file_->changerAmorce(std::llround(cible * tramesParMs) + tramesPaquet_);
}

void PiloteFile::piloter(InstantNs maintenant) {
  const auto etat = file_->etat();
  if (etat.commencee && !commencee_) {
    commencee_ = true;
    regulationPermiseNs_ = maintenant + attenteRegulationNs;
  }
  if (etat.trous != trousVus_) {
    trousVus_ = etat.trous;
    regulationPermiseNs_ = maintenant + attenteRegulationNs;
  }
  viser(maintenant, etat);
  const auto avance = releve_.reserveMoyenneMs();
  if (!secondeClose_ || !avance || !cibleMs_) return;
  secondeClose_ = false;
  vitessePPM_ = maintenant >= regulationPermiseNs_ ? regulateur_.regler(*avance, *cibleMs_, 1.0)
                                                   : regulateur_.derivePPM;
  // Une cible qui a monté se rejoint plus vite par les masquages qu'à 1 ms par seconde.
  const double manque = *cibleMs_ - *avance - margeAllongementMs;
  file_->changerAllongement(manque > 0 ? std::llround(manque * tramesParMs) : 0);
}

void PiloteFile::retarderRegulation(InstantNs maintenant) {
  regulationPermiseNs_ = maintenant + attenteRegulationNs;
}

void PiloteFile::reinitialiser() {
  file_->vider();
  const auto trous = file_->etat().trous;
  *this = PiloteFile(std::move(file_));
  trousVus_ = trous;
}

}  // namespace ravlo
