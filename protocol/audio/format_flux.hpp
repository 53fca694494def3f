// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>

/// Le flux tel qu'il est capté, envoyé, mis en file et joué, d'un bout à l'autre : 48 kHz,
/// stéréo, 16 bits signés petit-boutistes, 320 trames par paquet. Dit ici une fois ; le
/// format du fil (`PaquetAudio`) le reprend et ne peut en changer.
namespace ravlo::flux {

inline constexpr std::int64_t tramesParSeconde = 48'000;
inline constexpr std::size_t canaux = 2;
inline constexpr std::size_t octetsParEchantillon = 2;
inline constexpr std::size_t octetsParTrame = canaux * octetsParEchantillon;
inline constexpr std::size_t tramesParPaquet = 320;
inline constexpr std::size_t echantillonsParPaquet = tramesParPaquet * canaux;
inline constexpr std::size_t octetsParPaquet = tramesParPaquet * octetsParTrame;

/// Durée de `trames` trames, arrondie vers zéro, sans déborder avant 2⁶³ ns.
[[nodiscard]] constexpr std::int64_t nsDeTrames(std::int64_t trames) {
  return trames / tramesParSeconde * 1'000'000'000 +
         trames % tramesParSeconde * 1'000'000'000 / tramesParSeconde;
}

/// Trames entières contenues dans `ns` nanosecondes, arrondies vers zéro.
[[nodiscard]] constexpr std::int64_t tramesDeNs(std::int64_t ns) {
  return ns / 1'000'000'000 * tramesParSeconde +
         ns % 1'000'000'000 * tramesParSeconde / 1'000'000'000;
}

inline constexpr std::int64_t nsParPaquet =
    nsDeTrames(static_cast<std::int64_t>(tramesParPaquet));  // 6,67 ms, tronqué

static_assert(octetsParPaquet == 1280);
static_assert(nsDeTrames(tramesParSeconde) == 1'000'000'000);
static_assert(tramesDeNs(nsDeTrames(48'000 * 3600)) == 48'000 * 3600);

}  // namespace ravlo::flux
