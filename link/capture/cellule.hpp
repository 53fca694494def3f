// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "protocol/base/verrou.hpp"

namespace ravlo {

/// Une valeur partagée entre le fil principal et le fil du son, derrière son propre verrou
/// court : quelques copies, jamais d'allocation sous le verrou.
template <class T>
class Cellule {
 public:
  [[nodiscard]] T lire() const {
    Garde garde(verrou_);
    return valeur_;
  }

  void ecrire(const T& valeur) {
    Garde garde(verrou_);
    valeur_ = valeur;
  }

  /// Applique `f` à la valeur sous le verrou ; `f` doit être brève.
  template <class F>
  void modifier(F&& f) {
    Garde garde(verrou_);
    f(valeur_);
  }

 private:
  mutable Verrou verrou_;
  T valeur_ GARDE_PAR(verrou_){};
};

}  // namespace ravlo
