// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/sortie_audio.hpp"

struct pw_thread_loop;
struct pw_stream;

namespace ravlo {

class ContextePulse;

/// Un flux de lecture PipeWire natif en flottants 32 bits, 48 000 Hz, stéréo, sur la sortie
/// nommée (`target.object`) ou celle que choisit la politique de la session. Par
/// pipewire-pulse, un client PulseAudio ne descend pas sous un quantum de 256 trames et le
/// serveur garde en plus la réserve demandée : 20 ms de la file à l'oreille, contre 5 à 6 ici,
/// où le rappel remplit directement le tampon du cycle, au quantum de 128 trames.
///
/// Le rappel tourne sur le fil temps réel de PipeWire, jamais deux à la fois ; l'heure de
/// sortie de chaque bloc est l'heure du cycle plus le retard du graphe jusqu'au périphérique
/// et ce que le convertisseur retient. Le son coupé se lit sur la sortie par le serveur
/// PulseAudio de PipeWire (pipewire-pulse), faute de quoi il n'est jamais dit coupé.
///
/// Un serveur arrêté ou relancé met le flux en panne (`serveurPerdu`) ; `demarrer` refait
/// boucle, lien et flux sur le serveur revenu.
///
/// `demarrer`, `arreter`, `sonCoupe` et `panne` : un seul fil à la fois, hors du rappel.
class SortiePipewire final : public SortieAudio {
 public:
  static constexpr std::uint32_t quantumTrames = 128;

  explicit SortiePipewire(std::optional<std::string> sortie);
  ~SortiePipewire() override;
  SortiePipewire(const SortiePipewire&) = delete;
  SortiePipewire& operator=(const SortiePipewire&) = delete;

  [[nodiscard]] std::optional<ErreurSortie> demarrer(RappelRendu rappel) override;
  void arreter() override;
  [[nodiscard]] bool sonCoupe() override;
  [[nodiscard]] std::optional<ErreurSortie> panne() override;

  struct Ecouteurs;

 private:
  std::optional<std::string> sortie_;
  RappelRendu rappel_;
  pw_thread_loop* boucle_ = nullptr;
  pw_stream* flux_ = nullptr;
  std::unique_ptr<Ecouteurs> ecouteurs_;
  std::optional<ErreurSortie> panne_;  ///< boucle verrouillée
  bool pret_ = false;                  ///< boucle verrouillée
  std::atomic<bool> coupe_{false};
  std::unique_ptr<ContextePulse> pulse_;
};

/// Le serveur de son est PipeWire (pipewire-pulse l'annonce dans le nom du serveur) : une
/// sortie native y est plus courte. Faux sans serveur joignable.
[[nodiscard]] bool serveurPipewire();

}  // namespace ravlo
