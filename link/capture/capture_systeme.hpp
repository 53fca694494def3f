// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>

#include "link/capture/cellule.hpp"
#include "link/capture/rappel_capture.hpp"
#include "plateforme/capture_audio.hpp"
#include "protocol/audio/tampon_audio.hpp"

namespace ravlo {

/// Capte tout ce que joue l'ordinateur et l'écrit dans l'anneau `tampon` : 48 000 Hz stéréo
/// flottant converti en 16 bits, avec l'heure de capture de chaque bloc, le niveau du dernier
/// bloc et le compte de ce qui a été livré.
///
/// Une capture arrêtée ne redémarre pas : on en crée une autre sur le même anneau.
/// `arreter()` se rappelle autant qu'on veut (la destruction l'appelle aussi).
///
/// `demarrer`, `arreter` et `changerSilence` : fil principal seulement. Le rappel tourne sur
/// le fil du serveur de son ; il ne partage avec le fil principal que l'anneau et les deux
/// cellules `niveauDuBloc` et `livraisons`, chacune sous son verrou court.
class CaptureSysteme {
 public:
  /// 16 384 valeurs de 16 bits : 8 192 trames stéréo par morceau converti.
  static constexpr std::size_t valeursConversion = 16'384;

  /// Ne touche pas encore au serveur de son.
  CaptureSysteme(std::shared_ptr<TamponAudio> tampon, bool ordinateurMuet,
                 std::unique_ptr<CaptureAudio> capture);
  ~CaptureSysteme();
  CaptureSysteme(const CaptureSysteme&) = delete;
  CaptureSysteme& operator=(const CaptureSysteme&) = delete;

  [[nodiscard]] std::expected<void, ErreurCapture> demarrer();
  void arreter();

  /// Change le silence de l'ordinateur, sur la capture en cours s'il y en a une ; faux si le
  /// serveur refuse (la capture reste alors comme elle était, mais le réglage est retenu).
  bool changerSilence(bool ordinateurMuet);

  /// La panne qui a arrêté pour de bon une capture démarrée (sortie captée disparue sans
  /// relève) ; absente tant qu'elle capte, et avant le démarrage.
  [[nodiscard]] std::optional<ErreurCapture> echec() const;

  /// Niveau (RMS, 0 à 1) du dernier bloc converti ; il reste quand les rappels cessent.
  [[nodiscard]] float niveauDuBloc() const { return niveauDuBloc_->lire(); }
  [[nodiscard]] Livraisons livraisons() const { return livraisons_->lire(); }
  [[nodiscard]] bool ordinateurMuet() const { return ordinateurMuet_; }

 private:
  std::shared_ptr<Cellule<float>> niveauDuBloc_;
  std::shared_ptr<Cellule<Livraisons>> livraisons_;
  std::unique_ptr<std::int16_t[]> conversion_;
  std::shared_ptr<TamponAudio> tampon_;
  bool ordinateurMuet_;
  bool demarree_ = false;
  std::unique_ptr<CaptureAudio> capture_;
};

}  // namespace ravlo
