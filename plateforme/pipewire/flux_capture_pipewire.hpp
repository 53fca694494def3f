// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "plateforme/pulseaudio/flux_capture.hpp"

struct pw_context;
struct pw_core;
struct pw_thread_loop;
struct pw_stream;

namespace ravlo {

/// Un flux de capture PipeWire natif (`pw_stream`, stream.capture.sink) sur le moniteur d'une
/// sortie, en flottants 32 bits, 48 000 Hz, stéréo. Le son ne passe plus par pipewire-pulse :
/// un saut de processus de moins, et aucun appel de libpulse par morceau (trois fois moins
/// d'appels système ; le CPU, voir docs/performance.md).
///
/// Il demande un quantum de 256 trames (5,3 ms), pas 128 comme la sortie native : la demande
/// fixe le pas de tout le graphe, et à 128 les autres lecteurs du bureau (ceux de
/// pipewire-pulse) se sous-alimentaient sur une machine chargée ; le ton d'essai ne passait
/// qu'une fois sur six, contre cinq à 256. Un récepteur sur la même machine le ramène à 128.
///
/// Le rappel tourne sur le fil temps réel de PipeWire (un par flux), jamais deux à la fois ;
/// il n'alloue ni n'attend. L'heure d'un morceau, comme pour `FluxCapturePulse`, est celle où
/// la sortie le joue : le moniteur rend, dans le cycle même, le mélange que la sortie reçoit,
/// et elle le joue après le retard que le graphe annonce au flux (`pw_time.delay` : nul sur
/// les sorties nulles des essais, pas encore relevé sur une vraie carte). D'où : heure du
/// cycle (`pw_time.now`) plus ce retard, portée sur l'horloge de `hoteNs()`. Un cycle qui
/// commence plus loin que la fin du précédent (un cycle manqué, une machine qui cale) est
/// rapporté en trames perdues ; les heures qui suivent, prises au cycle, sautent d'autant.
///
/// Relié avec node.dont-reconnect : la sortie disparue, la politique de session défait le
/// flux au lieu de le déplacer, et `echec()` le dit.
class FluxCapturePipewire final : public FluxCapture {
 public:
  static constexpr std::uint32_t quantumTrames = 256;

  /// Le flux n'est créé, avec sa boucle, qu'à `connecter`.
  [[nodiscard]] static ResultatPulse<std::unique_ptr<FluxCapture>> creer(ContextePulse& contexte,
                                                                         const std::string& nom);
  explicit FluxCapturePipewire(std::string nom);
  ~FluxCapturePipewire() override;
  FluxCapturePipewire(const FluxCapturePipewire&) = delete;
  FluxCapturePipewire& operator=(const FluxCapturePipewire&) = delete;

  StatutPulse connecter(const std::string& source) override;
  /// Nul : attend, hors du fil temps réel, la fin d'un rappel en cours.
  void installer(const RappelCapture* rappel) override;
  StatutPulse reprendre() override { return echec_.load(); }
  [[nodiscard]] const std::string& source() const override { return source_; }
  [[nodiscard]] StatutPulse echec() const override { return echec_.load(); }

  struct Ecouteurs;

 private:
  void arreter();

  const std::string nom_;
  std::string source_;
  pw_thread_loop* boucle_ = nullptr;
  pw_context* contexte_ = nullptr;
  pw_core* lien_ = nullptr;
  pw_stream* flux_ = nullptr;
  std::unique_ptr<Ecouteurs> ecouteurs_;
  std::atomic<const RappelCapture*> rappel_{nullptr};
  std::atomic<bool> dansRappel_{false};
  std::atomic<StatutPulse> echec_{0};
  bool pret_ = false;  ///< boucle verrouillée
  /// Fil temps réel seulement : où, sur l'horloge du graphe, le morceau suivant doit commencer.
  std::int64_t suiteNs_ = -1;
};

}  // namespace ravlo
