// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "protocol/base/verrou.hpp"

namespace ravlo {

/// Rééchantillonneur stéréo à sinc fenêtré (Kaiser) polyphase, taillé pour la correction de
/// vitesse du récepteur : des rapports proches de 1, qui changent quand on veut sans cassure,
/// la position fractionnaire se poursuivant d'un rapport à l'autre.
///
/// La trame de sortie à la position p (en trames d'entrée) pèse les `prises` trames d'entrée
/// autour de p, de ⌊p⌋ − 15 à ⌊p⌋ + 16, par une ligne de la table : la ligne de la phase sous
/// la partie fractionnaire de p, interpolée linéairement vers la suivante. La coupure est à
/// la moitié de la fréquence d'entrée, ce qui suffit à 1 ± 1 % (le rapport est borné là).
/// Vers une sortie à une autre fréquence (un navigateur à 44,1 kHz), le rapport nominal
/// `base` multiplie ce rapport, et vers plus bas la coupure descend à la moitié de la
/// fréquence de sortie : ce qu'elle ne peut porter ne se replie pas dans l'audible.
/// À 48 kHz et 1 ± 0,001, l'écart au sinus idéal est de −107 dB à 1 kHz, −102 dB à 15 kHz,
/// −98 dB à 19 kHz ; plus haut, le son s'atténue (−54 dB d'écart à 20 kHz).
///
/// Au départ, l'entrée passée est du silence et la première trame de sortie tombe sur la
/// première trame d'entrée ; chaque sortie avance la position de 1 ÷ `rapport`. Une trame
/// d'entrée sort quand la position l'atteint, mais doit être là `prises` ÷ 2 trames plus
/// tôt : la source est tirée d'autant en avance, le retard du filtre.
///
/// Exemple : au rapport 1 ÷ 1,0003 (+300 ppm), 480 trames de sortie avancent la position de
/// 480,144 trames d'entrée ; une minute en consomme 2 880 864.
///
/// La table et les tampons sont pris à la construction ; `produire` n'alloue rien. Un seul
/// fil à la fois.
class Reechantillonneur {
 public:
  static constexpr int prises = 32;
  static constexpr int phases = 256;
  static constexpr std::int64_t tramesParMorceau = 96;
  static constexpr double rapportMin = 0.99;
  static constexpr double rapportMax = 1.01;

  /// Ce qui donne l'entrée, par morceaux de `tramesParMorceau` trames.
  class Source {
   public:
    virtual ~Source() = default;
    /// Remplit `gauche` et `droite` (`tramesParMorceau` trames chacun). `sortieTrames` : où la
    /// première de ces trames se jouera, en trames de sortie depuis la première que remplit
    /// l'appel de `produire` en cours (au rapport de cet appel ; plus loin, il peut changer).
    virtual void fournir(std::span<float> gauche, std::span<float> droite, double sortieTrames) = 0;
  };

  /// `base` : sortie ÷ entrée nominal (1 : même fréquence), dans [1/8, 8].
  explicit Reechantillonneur(double base = 1.0);

  /// Remplit `entrelace` (gauche, droite, …) au rapport sortie ÷ entrée `base` × `rapport`,
  /// `rapport` borné à [`rapportMin`, `rapportMax`] ; tire de `source` les morceaux qu'il
  /// faut.
  void produire(std::span<float> entrelace, double rapport, Source& source);

  /// Position de la prochaine trame de sortie, en trames d'entrée depuis la première.
  [[nodiscard]] double position() const;

 private:
  static constexpr int demi = prises / 2;
  static constexpr double baseMax = 8;
  static constexpr std::int64_t capacite = 4 * tramesParMorceau + prises;

  void alimenter(Source& source, double sortieTrames);

  const double base_;
  /// Par phase : ses `prises` coefficients, puis leur écart à la phase suivante.
  const std::unique_ptr<float[]> table_;
  alignas(64) std::array<float, capacite> gauche_{};
  alignas(64) std::array<float, capacite> droite_{};
  std::int64_t debut_ = 0;  ///< rang dans le flux d'entrée de la première trame tenue
  std::int64_t fin_ = 0;    ///< trames tenues
  std::int64_t index_ = 0;  ///< la trame tenue sous la position
  double fraction_ = 0;     ///< dans [0, 1)
};

}  // namespace ravlo
