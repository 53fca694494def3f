// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ravlo {

/// Une voix mono à `frequence` Hz (celle d'une synthèse vocale, 22 050 Hz pour la plupart)
/// mise au format du flux : 48 kHz, stéréo entrelacé, 16 bits, les deux canaux égaux.
///
/// Interpolation linéaire : la voix synthétique n'a presque rien au-dessus de 5 kHz, si bien
/// que les images qu'elle laisse au-dessus de la moitié de `frequence` restent inaudibles ; le
/// `Reechantillonneur` du rendu, lui, ne sort pas de 1 ± 1 %. Exemple : 22 050 échantillons
/// à 22 050 Hz donnent 48 000 trames. Vide si `frequence` n'est pas positive. Hors du temps
/// réel : alloue.
[[nodiscard]] std::vector<std::int16_t> voixEnFlux(std::span<const std::int16_t> mono,
                                                   int frequence);

}  // namespace ravlo
