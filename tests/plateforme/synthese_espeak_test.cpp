// SPDX-License-Identifier: MPL-2.0
// La vraie synthèse de libespeak-ng, dans les deux langues du récepteur, mise au format du flux.
#include "plateforme/espeak/synthese_espeak.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "recepteur/voix_en_flux.hpp"

namespace ravlo {
namespace {

TEST(SyntheseEspeak, DitLeCodeEnFrancaisEtEnAnglais) {
  SyntheseEspeak synthese;
  for (const char* langue : {"fr", "en"}) {
    SCOPED_TRACE(langue);
    const auto voix = synthese.synthetiser("Code : 4, 7, 1, 1", langue);
    ASSERT_TRUE(voix.has_value()) << voix.error();
    const auto flux = voixEnFlux(voix->echantillons, voix->frequence);
    // Quatre chiffres détachés : plus d'une seconde de voix, bien au-dessus du silence.
    EXPECT_GT(flux.size(), 2u * 48'000);
    double somme = 0;
    for (const auto e : flux) somme += std::pow(e / 32768.0, 2);
    EXPECT_GT(std::sqrt(somme / static_cast<double>(flux.size())), 0.02);
  }
  EXPECT_FALSE(synthese.synthetiser("Code", "xx-inexistante").has_value());
}

}  // namespace
}  // namespace ravlo
