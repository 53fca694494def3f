#pragma once

#include <string>

namespace ravlo {

/// La durée d'envoi affichée : secondes entières (fraction abandonnée), « m:ss » sous
/// l'heure, « h:mm:ss » au-delà. 59 → 0:59, 3 599,9 → 59:59, 3 661 → 1:01:01. Une valeur
/// négative ou non finie compte pour 0.
[[nodiscard]] std::string texteDuree(double secondes);

}  // namespace ravlo
