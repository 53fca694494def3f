// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "plateforme/capture_audio.hpp"
#include "plateforme/pulseaudio/contexte_pulse.hpp"
#include "plateforme/pulseaudio/flux_capture.hpp"
#include "plateforme/pulseaudio/flux_capture_pulse.hpp"
#include "plateforme/pulseaudio/silence_pulse.hpp"

namespace ravlo {

/// `CaptureAudio` sur PulseAudio (et PipeWire par pipewire-pulse) : un flux d'enregistrement
/// (`FluxCapturePulse`) sur le moniteur de la sortie (« sink ») par défaut ; muette, elle
/// installe aussi un `SilencePulse` et c'est le moniteur de la sortie nulle qu'elle écoute,
/// par un second flux.
///
/// Le flux sur la sortie ordinaire reste relié, muet, pendant le silence : il la garde à
/// faible latence, et lever le silence ne fait que lui rendre le rappel. Relier un flux neuf
/// à une sortie restée une seconde sans lui coûtait une seconde sans données.
///
/// La capture suit la sortie par défaut : quand elle change (casque branché, sortie
/// retirée), un fil de suivi relie un flux neuf au moniteur de la nouvelle et lui passe le
/// rappel ; muette, c'est le silence qui la suit (`SilencePulse::suivre`). Un flux que le
/// serveur a tué sans qu'on puisse le remplacer est rapporté par `panne`.
///
/// Chaque démarrage commence par défaire les silences laissés par un programme mort.
class CapturePulse final : public CaptureAudio {
 public:
  static constexpr const char* nomFlux = "Ravlo Link";

  /// `repertoireEtat` : où tenir les fichiers d'état du silence (vide : nulle part).
  /// `fabrique` : les flux qui portent le son (par défaut ceux de libpulse) ; le lien
  /// PulseAudio ne sert alors qu'à la sortie par défaut, à ses changements et au silence.
  explicit CapturePulse(std::string repertoireEtat = repertoireEtatParDefaut(),
                        FabriqueFluxCapture fabrique = &FluxCapturePulse::creer);
  ~CapturePulse() override;
  CapturePulse(const CapturePulse&) = delete;
  CapturePulse& operator=(const CapturePulse&) = delete;

  [[nodiscard]] std::expected<void, ErreurCapture> demarrer(RappelCapture rappel,
                                                            bool ordinateurMuet) override;
  [[nodiscard]] std::expected<void, ErreurCapture> changerSilence(bool ordinateurMuet) override;
  void arreter() override;
  [[nodiscard]] std::optional<ErreurCapture> panne() const override;

 private:
  /// Le flux qui porte le rappel : celui du silence s'il y en a un.
  [[nodiscard]] FluxCapture* actif() const;
  /// Relie un flux neuf au moniteur de la sortie nulle, et lui passe le rappel si la capture
  /// tourne.
  StatutPulse brancherSilence();
  /// Remplace `flux` par un flux neuf sur `source`, démarré et portant le rappel s'il le
  /// portait.
  StatutPulse rebrancher(std::unique_ptr<FluxCapture>& flux, const std::string& source);
  void demolir();
  /// Abonne le lien courant aux changements du serveur (sortie par défaut).
  void abonner();
  static void rappelAbonnement(pa_context* c, pa_subscription_event_type_t evenement,
                               std::uint32_t index, void* moi);
  /// Fil de suivi : attend un changement, puis `suivre()` boucle verrouillée.
  void suivi();
  void suivre();
  void reveiller();

  /// Chaque opération et chaque passage du suivi tiennent l'état du début à la fin : les
  /// attentes du serveur relâchent la boucle, et un flux ne doit pas disparaître sous l'une
  /// d'elles. Toujours pris avant la boucle.
  struct Garde {
    Garde(std::mutex& etat, const ContextePulse& contexte) : etat_(etat), boucle_(contexte) {}
    std::lock_guard<std::mutex> etat_;
    VerrouBoucle boucle_;
  };

  const std::string repertoireEtat_;
  const FabriqueFluxCapture fabrique_;
  mutable std::mutex verrouEtat_;
  ContextePulse contexte_;
  std::unique_ptr<SilencePulse> silence_;
  /// Sur le moniteur de la sortie captée.
  std::unique_ptr<FluxCapture> flux_;
  /// Sur le moniteur de la sortie nulle, pendant le silence.
  std::unique_ptr<FluxCapture> fluxSilence_;
  std::unique_ptr<RappelCapture> rappel_;
  bool demarree_ = false;
  pa_context* abonne_ = nullptr;

  std::mutex verrouSuivi_;
  std::condition_variable reveil_;
  bool aSuivre_ = false;
  bool fin_ = false;
  std::thread filSuivi_;  // en dernier : démarré quand tout le reste existe
};

}  // namespace ravlo
