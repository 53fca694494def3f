#pragma once

#include <pulse/introspect.h>
#include <pulse/stream.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/pulseaudio/contexte_pulse.hpp"
#include "plateforme/sortie_audio.hpp"

namespace ravlo {

/// Un flux de lecture PulseAudio en flottants 32 bits, 48 000 Hz, stéréo, sur la sortie
/// nommée (la sortie par défaut sinon). Il vise 15 ms de latence totale (30 ms coûtaient
/// 9 ms de plus de bout à bout, sans trou de moins ; 10 ms sous-alimentaient la sortie une
/// dizaine de fois en 20 s sur une machine chargée, 15 ms jamais) et demande des morceaux de
/// 5 ms : le rappel d'écriture tourne sur le fil de la boucle de libpulse, écrit en place dans
/// la mémoire du serveur (`pa_stream_begin_write`) et date chaque bloc de l'heure où il
/// sortira, d'après le minutage interpolé du flux.
///
/// `demarrer`, `arreter` et `sonCoupe` : un seul fil à la fois, hors du rappel.
class SortiePulse final : public SortieAudio {
 public:
  static constexpr std::uint32_t latenceUs = 15'000;
  static constexpr std::uint32_t morceauUs = 5'000;

  explicit SortiePulse(std::optional<std::string> sortie);
  ~SortiePulse() override;
  SortiePulse(const SortiePulse&) = delete;
  SortiePulse& operator=(const SortiePulse&) = delete;

  [[nodiscard]] std::optional<std::string> demarrer(RappelRendu rappel) override;
  void arreter() override;
  [[nodiscard]] bool sonCoupe() override;
  [[nodiscard]] std::optional<std::string> panne() override;

 private:
  std::optional<std::string> echec();
  static void rappelEcriture(pa_stream* flux, std::size_t octets, void* moi);
  static void rappelEtat(pa_stream* flux, void* moi);
  static void rappelInfoSortie(pa_context*, const pa_sink_info* info, int fin, void* moi);

  std::optional<std::string> sortie_;
  // Avant le contexte : une réponse tardive de la boucle peut encore l'écrire.
  std::atomic<bool> coupe_{false};
  RappelRendu rappel_;
  ContextePulse contexte_{"ravlo-recepteur"};
  pa_stream* flux_ = nullptr;
};

}  // namespace ravlo
