#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "link/plateforme/plateforme_audio.hpp"
#include "link/plateforme/pulseaudio/contexte_pulse.hpp"
#include "link/plateforme/pulseaudio/flux_capture_pulse.hpp"
#include "link/plateforme/pulseaudio/silence_pulse.hpp"

namespace ravlo {

/// `PlateformeAudio` sur PulseAudio (et PipeWire par pipewire-pulse). La sortie par défaut
/// est la sortie (« sink ») par défaut, son identifiant durable est son nom. Une capture
/// est un flux d'enregistrement (`FluxCapturePulse`) ; silencieuse, elle installe d'abord un
/// `SilencePulse` et c'est le moniteur de la sortie nulle qu'elle enregistre. Le routage la
/// relie au moniteur (en pause) ; démarrer la sort de pause. Les statuts sont les codes
/// d'erreur de PulseAudio.
///
/// Chaque démarrage (`lireSortieParDefaut`) commence par défaire les silences laissés par
/// un programme mort. Détruire la plateforme défait ce que ses captures ont laissé.
class PlateformePulse final : public PlateformeAudio {
 public:
  /// `repertoireEtat` : où tenir les fichiers d'état du silence (vide : nulle part).
  explicit PlateformePulse(std::string repertoireEtat = repertoireEtatParDefaut());
  ~PlateformePulse() override;

  ResultatAudio<IdentifiantAudio> lireSortieParDefaut() override;
  ResultatAudio<std::optional<std::string>> lireIdentifiantSortie(IdentifiantAudio sortie) override;
  ResultatAudio<IdentifiantAudio> creerTap(const DescriptionTap& description) override;
  ResultatAudio<FormatFlux> lireFormatTap(IdentifiantAudio tap) override;
  ResultatAudio<IdentifiantAudio> creerAgregat(IdentifiantAudio tap,
                                               const std::string& identifiantSortie) override;
  ResultatAudio<std::optional<IdentifiantRappel>> creerRappel(IdentifiantAudio agregat,
                                                              RappelES rappel) override;
  StatutAudio demarrer(IdentifiantAudio agregat, IdentifiantRappel rappel) override;
  StatutAudio arreter(IdentifiantAudio agregat, IdentifiantRappel rappel) override;
  StatutAudio detruireRappel(IdentifiantAudio agregat, IdentifiantRappel rappel) override;
  StatutAudio detruireAgregat(IdentifiantAudio agregat) override;
  StatutAudio detruireTap(IdentifiantAudio tap) override;
  ResultatAudio<std::optional<DescriptionTap>> lireDescriptionTap(IdentifiantAudio tap) override;
  StatutAudio ecrireDescriptionTap(IdentifiantAudio tap,
                                   const DescriptionTap& description) override;

 private:
  struct Tap {
    DescriptionTap description;
    std::unique_ptr<SilencePulse> silence;
    std::unique_ptr<FluxCapturePulse> flux;
    /// Moniteur de la sortie donnée au routage : ce qu'on enregistre sans silence.
    std::string moniteurSortie;
    IdentifiantAudio agregat = 0;
    std::optional<IdentifiantRappel> idRappel;
    std::unique_ptr<RappelES> rappel;
    bool rappelActif = false;
    bool demarre = false;
  };

  Tap* tap(IdentifiantAudio id);
  Tap* tapDuRoutage(IdentifiantAudio agregat);
  [[nodiscard]] std::string sourceDe(const Tap& t) const;
  /// Passe le flux d'une capture reliée sur la source de son silence actuel.
  StatutAudio rebrancher(Tap& t);
  void demolir(Tap& t);

  const std::string repertoireEtat_;
  ContextePulse contexte_;
  std::map<IdentifiantAudio, Tap> taps_;
  IdentifiantAudio prochainId_ = 1;
};

}  // namespace ravlo
