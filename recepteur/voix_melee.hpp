// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "recepteur/anneau_spsc.hpp"

namespace ravlo {

/// Une voix prête à jouer : 48 kHz, stéréo entrelacé, 16 bits (`voixEnFlux`).
struct VoixPrete {
  std::vector<std::int16_t> entrelace;
};

/// La voix qui dit le code, mêlée par le rendu à ce qui joue : la musique baisse de moitié
/// (en 10 ms, sans clic) le temps de la voix, qui s'y ajoute, le tout borné à ±1.
///
/// Le fil principal prépare la voix (allocation comprise) et la confie par un anneau ; le rendu
/// la prend, la joue, puis la rend par un second anneau, et c'est le fil principal qui la
/// libère : le rendu n'alloue ni ne libère rien et n'attend personne.
///
/// `confier`, `recuperer` : un seul fil (le principal) ; `meler` : le fil de rendu seul.
class VoixMelee {
 public:
  static constexpr float gainMusique = 0.5F;
  static constexpr std::int64_t tramesFondu = 480;  ///< 10 ms

  VoixMelee() = default;
  ~VoixMelee();
  VoixMelee(const VoixMelee&) = delete;
  VoixMelee& operator=(const VoixMelee&) = delete;

  /// Confie `voix` au rendu ; faux (et `voix` perdue) si deux attendent déjà.
  bool confier(std::unique_ptr<VoixPrete> voix);
  /// Libère les voix jouées jusqu'au bout ; rend combien.
  std::size_t recuperer();

  /// Mêle la voix en cours à `entrelace` (gauche, droite, …). Temps réel.
  void meler(std::span<float> entrelace);

 private:
  static constexpr std::size_t places = 2;
  AnneauSpsc<VoixPrete*, places> aller_;
  AnneauSpsc<VoixPrete*, places> retour_;
  // Du fil de rendu seul.
  VoixPrete* courante_ = nullptr;
  std::size_t lu_ = 0;  ///< échantillons de `courante_` déjà joués
  float gain_ = 1.0F;
};

}  // namespace ravlo
