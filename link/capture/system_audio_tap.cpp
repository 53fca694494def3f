#include "link/capture/system_audio_tap.hpp"

#include <cmath>
#include <utility>

#include "plateforme/systeme.hpp"
#include "protocol/base/exiger.hpp"

namespace ravlo {

SystemAudioTap::SystemAudioTap(std::shared_ptr<TamponAudio> tampon, bool macSilencieux,
                               std::shared_ptr<PlateformeAudio> plateforme)
    : niveauDuBloc_(std::make_shared<Cellule<float>>()),
      livraisons_(std::make_shared<Cellule<Livraisons>>()),
      tampon_(std::move(tampon)),
      macSilencieux_(macSilencieux),
      plateforme_(std::move(plateforme)) {
  RAVLO_EXIGER(tampon_ != nullptr && plateforme_ != nullptr);
}

SystemAudioTap::~SystemAudioTap() {
  arreter();
}

std::expected<void, SystemAudioTapError> SystemAudioTap::demarrer() {
  // Redémarrer par-dessus des objets vivants les perdrait, silence compris.
  RAVLO_EXIGER(tapID_ == 0 && aggregateID_ == 0 && !ioProcID_ && !conversion_);
  const auto sortie = lireSortieParDefaut();
  if (!sortie.has_value()) return std::unexpected(sortie.error());
  if (auto etape = creerTap(); !etape.has_value()) return etape;
  if (auto etape = lireFormat(); !etape.has_value()) return etape;
  if (auto etape = creerAgregat(*sortie); !etape.has_value()) return etape;
  if (auto etape = verifierFormat(); !etape.has_value()) return etape;
  conversion_ = std::make_unique<std::int16_t[]>(valeursConversion);
  return installerRappel();
}

std::expected<std::string, SystemAudioTapError> SystemAudioTap::lireSortieParDefaut() {
  const auto sortie = plateforme_->lireSortieParDefaut();
  if (sortie.statut != 0) {
    return std::unexpected(
        SystemAudioTapError::coreAudio(SystemAudioTapError::etapeSortieParDefaut, sortie.statut));
  }
  auto identifiant = plateforme_->lireIdentifiantSortie(sortie.valeur);
  if (identifiant.statut != 0 || !identifiant.valeur) {
    return std::unexpected(SystemAudioTapError::coreAudio(
        SystemAudioTapError::etapeIdentifiantSortie, identifiant.statut));
  }
  return std::move(*identifiant.valeur);
}

SystemAudioTap::Etape SystemAudioTap::creerTap() {
  const auto tap = plateforme_->creerTap(DescriptionTap{nomTap, macSilencieux_});
  tapID_ = tap.valeur;
  if (tap.statut != 0 || tapID_ == 0) {
    return std::unexpected(SystemAudioTapError::tapImpossible(tap.statut));
  }
  return {};
}

SystemAudioTap::Etape SystemAudioTap::lireFormat() {
  const auto format = plateforme_->lireFormatTap(tapID_);
  formatCapture_ = format.valeur;
  // Une fréquence infinie ou NaN passerait les contrôles suivants et ne s'écrirait pas.
  if (format.statut != 0 || !std::isfinite(formatCapture_.frequence) ||
      !(formatCapture_.frequence > 0) || formatCapture_.octetsParTrame == 0) {
    return std::unexpected(
        SystemAudioTapError::coreAudio(SystemAudioTapError::etapeFormatTap, format.statut));
  }
  return {};
}

SystemAudioTap::Etape SystemAudioTap::creerAgregat(const std::string& sortie) {
  const auto agregat = plateforme_->creerAgregat(tapID_, sortie);
  aggregateID_ = agregat.valeur;
  if (agregat.statut != 0 || aggregateID_ == 0) {
    return std::unexpected(
        SystemAudioTapError::coreAudio(SystemAudioTapError::etapeAgregat, agregat.statut));
  }
  return {};
}

SystemAudioTap::Etape SystemAudioTap::verifierFormat() const {
  const FormatFlux& f = formatCapture_;
  if ((f.drapeaux & FormatFlux::drapeauFlottant) == 0 || f.bitsParCanal != 32) {
    return std::unexpected(SystemAudioTapError::bitsInattendus(f.bitsParCanal, localeCourante()));
  }
  if (f.canauxParTrame != 2) {
    return std::unexpected(
        SystemAudioTapError::canauxInattendus(f.canauxParTrame, localeCourante()));
  }
  if (f.frequence != 48'000.0) {
    return std::unexpected(SystemAudioTapError::frequenceInattendue(f.frequence, localeCourante()));
  }
  return {};
}

SystemAudioTap::Etape SystemAudioTap::installerRappel() {
  ContexteRappel contexte{
      .octetsParTrame = formatCapture_.octetsParTrame,
      .livraisons = livraisons_,
      .conversion = conversion_ ? std::span<std::int16_t>(conversion_.get(), valeursConversion)
                                : std::span<std::int16_t>(),
      .entrelace = (formatCapture_.drapeaux & FormatFlux::drapeauNonEntrelace) == 0,
      .niveauDuBloc = niveauDuBloc_,
      .tampon = tampon_,
  };
  auto rappel = plateforme_->creerRappel(
      aggregateID_, [contexte = std::move(contexte)](std::span<const TamponBloc> tampons,
                                                     const HorodatageBloc& horodatage) {
        traiterBloc(contexte, tampons, horodatage);
      });
  ioProcID_ = rappel.valeur;
  if (rappel.statut != 0 || !ioProcID_) {
    return std::unexpected(
        SystemAudioTapError::coreAudio(SystemAudioTapError::etapeRappel, rappel.statut));
  }
  if (const StatutAudio statut = plateforme_->demarrer(aggregateID_, *ioProcID_); statut != 0) {
    return std::unexpected(
        SystemAudioTapError::coreAudio(SystemAudioTapError::etapeDemarrage, statut));
  }
  return {};
}

std::optional<SystemAudioTapError> SystemAudioTap::echec() const {
  if (!ioProcID_ || aggregateID_ == 0) return std::nullopt;
  const StatutAudio statut = plateforme_->lireEchec(aggregateID_);
  if (statut == 0) return std::nullopt;
  return SystemAudioTapError::coreAudio(SystemAudioTapError::etapeDemarrage, statut);
}

void SystemAudioTap::arreter() {
  if (ioProcID_) {
    plateforme_->arreter(aggregateID_, *ioProcID_);
    plateforme_->detruireRappel(aggregateID_, *ioProcID_);
    ioProcID_.reset();
  }
  // Seulement maintenant : le rappel, arrêté et détruit, n'y touchera plus.
  conversion_.reset();
  if (aggregateID_ != 0) {
    plateforme_->detruireAgregat(aggregateID_);
    aggregateID_ = 0;
  }
  if (tapID_ != 0) {
    plateforme_->detruireTap(tapID_);
    tapID_ = 0;
  }
}

bool SystemAudioTap::changerSilence(bool silencieux) {
  macSilencieux_ = silencieux;
  if (tapID_ == 0) return true;
  const auto lue = plateforme_->lireDescriptionTap(tapID_);
  if (lue.statut != 0 || !lue.valeur) return false;
  DescriptionTap description = *lue.valeur;
  description.silencieux = silencieux;
  return plateforme_->ecrireDescriptionTap(tapID_, description) == 0;
}

}  // namespace ravlo
