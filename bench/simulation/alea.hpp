// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cmath>
#include <cstdint>

namespace ravlo::simulation {

/// Générateur pseudo-aléatoire reproductible (SplitMix64) : mêmes tirages pour la même
/// graine sur toute machine, ce que les distributions de la bibliothèque standard ne
/// promettent pas.
class Alea {
 public:
  explicit Alea(std::uint64_t graine) : etat_(graine) {}

  std::uint64_t suivant() {
    std::uint64_t z = (etat_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  /// Uniforme dans [0, 1).
  double uniforme() { return static_cast<double>(suivant() >> 11) * 0x1.0p-53; }

  /// Exponentielle de moyenne donnée.
  double exponentielle(double moyenne) { return -std::log1p(-uniforme()) * moyenne; }

  bool evenement(double probabilite) { return uniforme() < probabilite; }

 private:
  std::uint64_t etat_;
};

}  // namespace ravlo::simulation
