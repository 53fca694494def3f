#pragma once

#include <pulse/stream.h>

#include <memory>
#include <string>

#include "link/plateforme/plateforme_audio.hpp"
#include "link/plateforme/pulseaudio/contexte_pulse.hpp"

namespace ravlo {

/// Un flux d'enregistrement en flottants 32 bits, 48 000 Hz, stéréo, sur le moniteur d'une
/// sortie. Il ne suit jamais une autre source (PA_STREAM_DONT_MOVE : si sa source disparaît,
/// il échoue au lieu d'enregistrer autre chose) et demande des fragments de 5 ms pour que
/// les blocs arrivent réguliers et tôt.
///
/// Chaque morceau lu est un appel du rappel (un trou compte comme un appel sans données).
/// Heure de capture du premier octet d'un morceau = horloge de l'hôte maintenant − latence
/// du flux (signée). Pour un enregistrement, libpulse mesure cette latence jusqu'à l'octet
/// non lu le plus ancien, c'est-à-dire le début du morceau en main. Sur un moniteur elle est
/// souvent négative : la sortie calcule le son avant de le jouer, et l'heure est celle où il
/// sort.
///
/// Boucle verrouillée pour tout appel ; le rappel tourne sur le fil de la boucle.
class FluxCapturePulse {
 public:
  static constexpr std::uint32_t fragmentUs = 5'000;

  /// Statut PulseAudio si le flux ne peut être créé.
  [[nodiscard]] static ResultatAudio<std::unique_ptr<FluxCapturePulse>> creer(
      ContextePulse& contexte, const std::string& nom);
  ~FluxCapturePulse();
  FluxCapturePulse(const FluxCapturePulse&) = delete;
  FluxCapturePulse& operator=(const FluxCapturePulse&) = delete;

  /// Format que le serveur livre à ce flux (celui demandé : il convertit lui-même).
  [[nodiscard]] FormatFlux format() const;

  /// Relie le flux au moniteur `source`, en pause, et attend qu'il soit prêt.
  StatutAudio connecter(const std::string& source);
  /// Rappel appelé pour chaque morceau ; nul : plus aucun appel dès le retour.
  void installer(const RappelES* rappel) { rappel_ = rappel; }
  StatutAudio reprendre() { return pause(false); }
  StatutAudio suspendre() { return pause(true); }
  void deconnecter();
  [[nodiscard]] bool connecte() const { return connecte_; }

 private:
  FluxCapturePulse(ContextePulse& contexte, pa_stream* flux) : contexte_(contexte), flux_(flux) {}
  StatutAudio pause(bool enPause);
  static void rappelLecture(pa_stream* flux, std::size_t octets, void* moi);
  static void rappelEtat(pa_stream* flux, void* moi);

  ContextePulse& contexte_;
  pa_stream* flux_;
  const RappelES* rappel_ = nullptr;
  bool connecte_ = false;
};

}  // namespace ravlo
