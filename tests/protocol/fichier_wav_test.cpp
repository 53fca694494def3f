#include "protocol/fichier_wav.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

// Bloc « fmt » de 16 à 19 octets (les utiles, puis des zéros) suivi de son octet
// d'alignement s'il est impair, puis 8 octets de données.
TEST(FichierWav, BlocFormatPairOuImpairAvecSonAlignement) {
  for (const std::uint8_t taille : {16, 17, 18, 19}) {
    Octets wav{'R',  'I',  'F', 'F', 0,      0,    0, 0, 'W', 'A', 'V', 'E',
               'f',  'm',  't', ' ', taille, 0,    0, 0, 1,   0,   2,   0,
               0x80, 0xbb, 0,   0,   0,      0xee, 2, 0, 4,   0,   16,  0};
    wav.resize(wav.size() + taille - 16 + (taille & 1), 0);
    const Octets donnees{'d', 'a', 't', 'a', 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    wav.insert(wav.end(), donnees.begin(), donnees.end());
    const auto lu = FichierWav::lire(wav);
    ASSERT_TRUE(lu.has_value()) << int{taille};
    EXPECT_EQ(lu->debutDonnees, 28u + taille + (taille & 1));
    EXPECT_EQ(lu->octetsDonnees, 8u);
  }
}

}  // namespace
}  // namespace ravlo
