#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>

#include "link/capture/cellule.hpp"
#include "link/capture/rappel_capture.hpp"
#include "link/capture/system_audio_tap_error.hpp"
#include "plateforme/plateforme_audio.hpp"
#include "protocol/audio/tampon_audio.hpp"

namespace ravlo {

/// Capte tout ce que joue l'ordinateur et l'écrit dans l'anneau `tampon` : 48 000 Hz stéréo
/// flottant converti en 16 bits, avec l'heure de capture de chaque bloc.
///
/// `demarrer()` suit des étapes fixes (sortie par défaut et son identifiant, capture avec son
/// silence, format, routage, vérification du format, tampon de conversion, rappel installé puis
/// démarré) et s'arrête à la première qui échoue, en rendant l'erreur qui la nomme. Ce qui a
/// été créé reste alors en place : l'appelant appelle `arreter()`, qui défait tout dans
/// l'ordre inverse, à tout moment et autant de fois qu'on veut (la destruction l'appelle
/// aussi). Une capture arrêtée ne redémarre pas : on en crée une autre sur le même anneau.
///
/// `demarrer`, `arreter` et `changerSilence` : fil principal seulement. Le rappel tourne sur
/// le fil du système de son ; il ne partage avec le fil principal que l'anneau et les deux
/// cellules `niveauDuBloc` et `livraisons`, chacune sous son verrou court.
class SystemAudioTap {
 public:
  /// 16 384 valeurs de 16 bits : 8 192 trames stéréo au plus par rappel.
  static constexpr std::size_t valeursConversion = 16'384;
  static constexpr const char* nomTap = "Ravlo Link";

  /// Ne touche à aucun objet du système de son.
  SystemAudioTap(std::shared_ptr<TamponAudio> tampon, bool macSilencieux,
                 std::shared_ptr<PlateformeAudio> plateforme);
  ~SystemAudioTap();
  SystemAudioTap(const SystemAudioTap&) = delete;
  SystemAudioTap& operator=(const SystemAudioTap&) = delete;

  [[nodiscard]] std::expected<void, SystemAudioTapError> demarrer();
  void arreter();

  /// Change le silence de l'ordinateur, sur la capture en cours s'il y en a une ; faux si le
  /// système refuse (la capture reste alors comme elle était, mais le réglage est retenu).
  bool changerSilence(bool silencieux);

  /// La panne qui a arrêté pour de bon une capture démarrée (sortie captée disparue sans
  /// relève) ; absente tant qu'elle capte, et avant le démarrage. Fil principal.
  [[nodiscard]] std::optional<SystemAudioTapError> echec() const;

  /// Niveau (RMS, 0 à 1) du dernier bloc converti ; il reste quand les rappels cessent.
  [[nodiscard]] float niveauDuBloc() const { return niveauDuBloc_->lire(); }
  [[nodiscard]] Livraisons livraisons() const { return livraisons_->lire(); }
  [[nodiscard]] bool macSilencieux() const { return macSilencieux_; }
  [[nodiscard]] const FormatFlux& formatCapture() const { return formatCapture_; }

 private:
  using Etape = std::expected<void, SystemAudioTapError>;

  [[nodiscard]] std::expected<std::string, SystemAudioTapError> lireSortieParDefaut();
  [[nodiscard]] Etape creerTap();
  [[nodiscard]] Etape lireFormat();
  [[nodiscard]] Etape creerAgregat(const std::string& sortie);
  [[nodiscard]] Etape verifierFormat() const;
  [[nodiscard]] Etape installerRappel();

  IdentifiantAudio tapID_ = 0;
  IdentifiantAudio aggregateID_ = 0;
  std::optional<IdentifiantRappel> ioProcID_;
  std::shared_ptr<Cellule<float>> niveauDuBloc_;
  std::shared_ptr<Cellule<Livraisons>> livraisons_;
  std::unique_ptr<std::int16_t[]> conversion_;
  FormatFlux formatCapture_;
  std::shared_ptr<TamponAudio> tampon_;
  bool macSilencieux_;
  std::shared_ptr<PlateformeAudio> plateforme_;
};

}  // namespace ravlo
