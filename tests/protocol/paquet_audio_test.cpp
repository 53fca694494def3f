#include <gtest/gtest.h>

#include "protocol/paquet_audio.hpp"

namespace ravlo {
namespace {

ErreurPaquet erreur(CasErreurPaquet cas, std::uint8_t octet = 0) {
  return {cas, octet};
}

Octets entete(std::uint8_t version = 1) {
  return Octets{'R', 'V', version, 0, 2, 1, 0, 0, 9, 8, 7, 6, 5, 4, 3, 2};
}

TEST(PaquetAudio, FormeSurLeFil) {
  const auto paquet = PaquetAudio::creer(258, 0x0102030405060708, Octets(1280, 0x5A));
  ASSERT_TRUE(paquet.has_value());
  EXPECT_EQ(paquet->nombreDeTrames(), 320u);
  const Octets fil = paquet->encoder();
  ASSERT_EQ(fil.size(), 1296u);
  EXPECT_EQ((Octets{fil.begin(), fil.begin() + 16}),
            (Octets{'R', 'V', 1, 0, 0x02, 0x01, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(PaquetAudio::lire(fil), paquet);

  const auto une = PaquetAudio::creer(UINT32_MAX, UINT64_MAX, Octets{1, 2, 3, 4});
  EXPECT_EQ(une->encoder().size(), 20u);
  EXPECT_EQ(PaquetAudio::lire(une->encoder()), une);
}

TEST(PaquetAudio, TaillesDuPCMAuConstructeur) {
  using enum CasErreurPaquet;
  EXPECT_EQ(PaquetAudio::creer(0, 0, {}).error(), erreur(tailleAudioInvalide));
  EXPECT_EQ(PaquetAudio::creer(0, 0, Octets(1281)).error(), erreur(tailleAudioInvalide));
  EXPECT_EQ(PaquetAudio::creer(0, 0, Octets(1283)).error(), erreur(tailleAudioInvalide));
  EXPECT_EQ(PaquetAudio::creer(0, 0, Octets(1284)).error(), erreur(tropDeTrames));
  EXPECT_TRUE(PaquetAudio::creer(0, 0, Octets(1280)).has_value());
}

TEST(PaquetAudio, OrdreDesControlesALaLecture) {
  using enum CasErreurPaquet;
  // Toute longueur sous 16 est trop courte, quel que soit le contenu.
  for (std::size_t n = 0; n < 16; ++n) {
    EXPECT_EQ(PaquetAudio::lire(VueOctets(entete()).first(n)).error(), erreur(tropCourt)) << n;
  }
  // La signature avant la version, la version avant le PCM.
  Octets faux = entete(9);
  faux[1] = 'W';
  EXPECT_EQ(PaquetAudio::lire(faux).error(), erreur(signatureInvalide));
  Octets v2 = entete(2);
  v2.push_back(1);  // PCM mal formé, mais la version se voit d'abord
  EXPECT_EQ(PaquetAudio::lire(v2).error(), erreur(versionInconnue, 2));
  EXPECT_EQ(PaquetAudio::lire(entete()).error(), erreur(tailleAudioInvalide));
  Octets trop = entete();
  trop.resize(16 + 1284);
  EXPECT_EQ(PaquetAudio::lire(trop).error(), erreur(tropDeTrames));
  // L'octet réservé n'est pas examiné.
  Octets reserve = entete();
  reserve[3] = 0xEE;
  reserve.resize(20, 7);
  const auto lu = PaquetAudio::lire(reserve);
  ASSERT_TRUE(lu.has_value());
  EXPECT_EQ(lu->sequence(), 258u);
  EXPECT_EQ(lu->horodatageNanosecondes(), 0x0203040506070809u);
  EXPECT_EQ(lu->echantillons(), Octets(4, 7));
}

}  // namespace
}  // namespace ravlo
