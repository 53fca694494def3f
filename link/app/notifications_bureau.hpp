// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <string>

namespace ravlo {

/// Les bulles de notification du bureau, vues hors du panneau. Le bureau qui n'en a pas les
/// ignore sans rien dire. Fil principal.
class NotificationsBureau {
 public:
  virtual ~NotificationsBureau() = default;
  /// `titre` et `texte` déjà traduits.
  virtual void notifier(const std::string& titre, const std::string& texte) = 0;
};

}  // namespace ravlo
