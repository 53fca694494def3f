// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "protocol/audio/format_flux.hpp"
#include "protocol/base/instant.hpp"

namespace ravlo {

/// Le format de toute capture : la fréquence et les voies du flux, entrelacées, en flottants
/// 32 bits. Un serveur de son qui livre autre chose convertit avant le rappel.
inline constexpr auto frequenceCapture = static_cast<std::uint32_t>(flux::tramesParSeconde);
inline constexpr auto voiesCapture = static_cast<std::uint32_t>(flux::canaux);

/// Un bloc capté : des trames entières (`echantillons` en tient deux valeurs par trame), ou
/// un trou de `tramesPerdues` trames que le serveur n'a pas pu livrer. `heure` : quand la
/// sortie joue la première trame, sur l'horloge de `hoteNs()` ; absente tant que le serveur
/// n'a pas donné de minutage.
struct BlocCapte {
  std::span<const float> echantillons;
  std::uint32_t tramesPerdues = 0;
  std::optional<InstantNs> heure;
};

/// Appelé sur le fil du serveur de son, jamais deux à la fois ; n'alloue ni n'attend.
using RappelCapture = std::function<void(const BlocCapte&)>;

/// Pourquoi une capture n'a pas démarré, n'a pas changé son silence, ou s'est arrêtée.
struct ErreurCapture {
  enum class Cas : std::uint8_t {
    serveurInjoignable,  ///< pas de serveur de son, ou il a refusé la connexion
    sortieIntrouvable,   ///< pas de sortie par défaut à capter
    silenceImpossible,   ///< la sortie n'a pas pu être mise en silence
    fluxImpossible,      ///< le flux d'enregistrement n'a pas pu être créé, relié ou lancé
    sortiePerdue,        ///< la sortie captée a disparu sans relève
  };
  Cas cas = Cas::fluxImpossible;
  std::int32_t code = 0;  ///< le code d'erreur du serveur de son, pour le diagnostic

  bool operator==(const ErreurCapture&) const = default;
};

/// Capte tout ce que joue la sortie par défaut de l'ordinateur, et la suit quand elle
/// change (casque branché, sortie retirée). Avec `ordinateurMuet`, la sortie se tait tant que
/// dure la capture : le son ne va plus qu'à elle.
///
/// Une capture par objet : `demarrer` une fois ; après `arreter` (ou la destruction), le
/// rappel ne tourne plus et ne tournera plus, et le silence est défait. Fil principal, sauf
/// `panne()`, sûr depuis n'importe quel fil.
class CaptureAudio {
 public:
  virtual ~CaptureAudio() = default;

  /// Le rappel peut tourner avant même le retour.
  [[nodiscard]] virtual std::expected<void, ErreurCapture> demarrer(RappelCapture rappel,
                                                                    bool ordinateurMuet) = 0;
  /// Refusé, la capture reste comme elle était.
  [[nodiscard]] virtual std::expected<void, ErreurCapture> changerSilence(bool ordinateurMuet) = 0;
  virtual void arreter() = 0;
  /// La panne qui a arrêté pour de bon une capture démarrée ; absente tant qu'elle capte.
  [[nodiscard]] virtual std::optional<ErreurCapture> panne() const = 0;
};

/// Crée une capture neuve (chaque démarrage, chaque relance).
using FabriqueCapture = std::function<std::unique_ptr<CaptureAudio>()>;

}  // namespace ravlo
