#include "protocol/fichier_wav.hpp"

#include <gtest/gtest.h>

#include "protocol/ecrivain_octets.hpp"

namespace ravlo {
namespace {

// Un WAV dont le bloc « fmt » fait `tailleFormat` octets (16 utiles, le reste à zéro),
// suivi de l'octet d'alignement s'il est impair, puis de 8 octets de données.
Octets wav(std::uint32_t tailleFormat) {
  const auto ascii = [](const char* quatre) {
    return VueOctets(reinterpret_cast<const std::uint8_t*>(quatre), 4);
  };
  EcrivainOctets e(64);
  e.ecrire(ascii("RIFF")).ecrire(std::uint32_t{0}).ecrire(ascii("WAVE"));
  e.ecrire(ascii("fmt ")).ecrire(tailleFormat);
  e.ecrire(std::uint16_t{1}).ecrire(std::uint16_t{2}).ecrire(std::uint32_t{48'000});
  e.ecrire(std::uint32_t{192'000}).ecrire(std::uint16_t{4}).ecrire(std::uint16_t{16});
  for (std::uint32_t i = 16; i < tailleFormat + (tailleFormat & 1u); ++i) e.ecrire(std::uint8_t{0});
  e.ecrire(ascii("data")).ecrire(std::uint32_t{8}).ecrire(std::uint64_t{0});
  return std::move(e).terminer();
}

TEST(FichierWav, BlocFormatPairOuImpairAvecSonAlignement) {
  for (const std::uint32_t taille : {16u, 17u, 18u, 19u}) {
    const auto lu = FichierWav::lire(wav(taille));
    ASSERT_TRUE(lu.has_value()) << taille;
    EXPECT_EQ(lu->debutDonnees, 20 + taille + (taille & 1u) + 8) << taille;
    EXPECT_EQ(lu->octetsDonnees, 8u) << taille;
  }
}

}  // namespace
}  // namespace ravlo
