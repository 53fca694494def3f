// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>

namespace ravlo {

/// Statut d'une opération de PulseAudio : 0 = réussite, sinon son code d'erreur (PA_ERR_*).
using StatutPulse = std::int32_t;

/// Statut et valeur d'une opération ; la valeur ne vaut que si le statut est 0.
template <class T>
struct ResultatPulse {
  StatutPulse statut = 0;
  T valeur{};
};

}  // namespace ravlo
