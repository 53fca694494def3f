#include "link/plateforme/pulseaudio/format_pulse.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

TEST(FormatPulse, ChaqueFormatDePulseAudioDecritChampParChamp) {
  const FormatFlux flottant = formatDe({PA_SAMPLE_FLOAT32LE, 48'000, 2});
  EXPECT_EQ(flottant,
            (FormatFlux{.frequence = 48'000,
                        .identifiantFormat = FormatFlux::formatPCM,
                        .drapeaux = FormatFlux::drapeauFlottant | FormatFlux::drapeauCompact,
                        .octetsParPaquet = 8,
                        .tramesParPaquet = 1,
                        .octetsParTrame = 8,
                        .canauxParTrame = 2,
                        .bitsParCanal = 32}));

  const FormatFlux entiers = formatDe({PA_SAMPLE_S16LE, 44'100, 6});
  EXPECT_EQ(entiers.frequence, 44'100);
  EXPECT_EQ(entiers.drapeaux, FormatFlux::drapeauEntierSigne | FormatFlux::drapeauCompact);
  EXPECT_EQ(entiers.bitsParCanal, 16u);
  EXPECT_EQ(entiers.octetsParTrame, 12u);
  EXPECT_EQ(entiers.canauxParTrame, 6u);

  EXPECT_NE(formatDe({PA_SAMPLE_FLOAT32BE, 48'000, 2}).drapeaux & FormatFlux::drapeauGrosBoutiste,
            0u);
  EXPECT_EQ(formatDe({PA_SAMPLE_S24_32LE, 48'000, 2}).octetsParTrame, 8u);
  EXPECT_EQ(formatDe({PA_SAMPLE_S24_32LE, 48'000, 2}).bitsParCanal, 24u);
  EXPECT_EQ(formatDe({PA_SAMPLE_ULAW, 8'000, 1}).drapeaux & FormatFlux::drapeauFlottant, 0u);

  // Un format que PulseAudio ne sait pas décrire : aucune trame, la capture le refusera.
  const FormatFlux invalide = formatDe({PA_SAMPLE_INVALID, 48'000, 2});
  EXPECT_EQ(invalide.octetsParTrame, 0u);
  EXPECT_EQ(invalide.bitsParCanal, 0u);
}

}  // namespace
}  // namespace ravlo
