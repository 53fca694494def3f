// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <pulse/stream.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/capture_audio.hpp"
#include "plateforme/pulseaudio/contexte_pulse.hpp"
#include "plateforme/pulseaudio/flux_capture.hpp"
#include "plateforme/pulseaudio/statut_pulse.hpp"

namespace ravlo {

/// Un flux d'enregistrement en flottants 32 bits, 48 000 Hz, stéréo, sur le moniteur d'une
/// sortie. Le serveur ne le déplace jamais (PA_STREAM_DONT_MOVE : si sa source disparaît, il
/// le tue au lieu de lui faire enregistrer autre chose, et `echec()` le dit) ; suivre une
/// autre sortie, c'est relier un flux neuf. Il demande des fragments d'un demi-paquet (160
/// trames, 3,3 ms), que l'émetteur envoie dès le morceau qui le complète. En fragments d'un
/// paquet, le serveur en livrait deux d'un coup toutes les vingtaines de paquets : les envois
/// s'étalaient sur 9 ms (99ᵉ centile), que la file du récepteur devait couvrir ; en
/// demi-paquets, sur 4 ms, pour 280 réveils de plus par seconde. Le serveur livre au pas de
/// la sortie captée quand il est plus fin (5 ms sous un lecteur à 20 ms).
///
/// Chaque morceau lu est un appel du rappel (un trou, un appel sans échantillons).
/// L'heure de capture d'un octet est celle où la sortie le joue. Chaque mise à jour de
/// minutage du serveur donne une mesure : le dernier octet écrit côté serveur sort à
/// (réception − transport + latence de la sortie − latence de la source). L'ancre suit ces
/// mesures (un huitième de l'écart à chaque fois, sans dépasser 1000 ppm du son écoulé
/// depuis la précédente ; tout l'écart au-delà de 20 ms), et l'heure
/// du premier octet d'un morceau en découle par le nombre d'octets qui les séparent : entre
/// deux mises à jour, les heures avancent exactement au rythme des octets. Une mesure est
/// demandée toutes les 100 ms : une sortie nulle tourne jusqu'à 450 ppm trop vite, et aux
/// mises à jour de libpulse, espacées jusqu'à 1,5 s, le huitième laissait l'ancre 3 ms en
/// retard.
///
/// On n'utilise pas l'interpolation de libpulse : son lisseur part du minutage pris à la
/// connexion, quand la sortie au repos annonce des centaines de millisecondes de latence, et
/// met plus d'une seconde à s'en remettre. On demande plutôt un minutage frais dès les
/// premières données ; d'ici là (un aller-retour avec le serveur), les blocs partent sans
/// heure.
///
/// Boucle verrouillée pour tout appel ; le rappel tourne sur le fil de la boucle.
class FluxCapturePulse final : public FluxCapture {
 public:
  static constexpr std::uint32_t tramesParFragment = 160;

  /// Statut PulseAudio si le flux ne peut être créé.
  [[nodiscard]] static ResultatPulse<std::unique_ptr<FluxCapture>> creer(ContextePulse& contexte,
                                                                         const std::string& nom);
  ~FluxCapturePulse() override;
  FluxCapturePulse(const FluxCapturePulse&) = delete;
  FluxCapturePulse& operator=(const FluxCapturePulse&) = delete;

  /// Relie le flux au moniteur `source`, en pause, et attend qu'il soit prêt.
  StatutPulse connecter(const std::string& source) override;
  /// Rappel appelé pour chaque morceau ; nul : plus aucun appel dès le retour.
  void installer(const RappelCapture* rappel) override { rappel_ = rappel; }
  StatutPulse reprendre() override { return pause(false); }
  StatutPulse suspendre() { return pause(true); }
  void deconnecter();
  /// Le moniteur donné à `connecter`.
  [[nodiscard]] const std::string& source() const override { return source_; }
  /// 0, ou le code d'erreur du flux que le serveur a tué (source disparue…). Sûr depuis
  /// n'importe quel fil.
  [[nodiscard]] StatutPulse echec() const override { return echec_.load(); }

 private:
  FluxCapturePulse(ContextePulse& contexte, pa_stream* flux) : contexte_(contexte), flux_(flux) {}
  /// Heure de sortie d'une position du flux, d'après le dernier minutage.
  struct Ancre {
    InstantNs sortieNs = 0;
    std::int64_t position = 0;
  };

  StatutPulse pause(bool enPause);
  void recaler();
  static void rappelLecture(pa_stream* flux, std::size_t octets, void* moi);
  static void rappelEtat(pa_stream* flux, void* moi);
  static void rappelMinutage(pa_stream* flux, void* moi);

  ContextePulse& contexte_;
  pa_stream* flux_;
  const RappelCapture* rappel_ = nullptr;
  bool connecte_ = false;
  std::string source_;
  std::atomic<StatutPulse> echec_{0};
  // Touchés sur le fil de la boucle seulement (ou boucle verrouillée).
  bool donneesVues_ = false;
  InstantNs demandeNs_ = 0;
  std::optional<Ancre> ancre_;
};

}  // namespace ravlo
