// SPDX-License-Identifier: MPL-2.0
#include "protocol/audio/tampon_audio.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

struct ReveilCompte final : Reveil {
  int sonneries = 0;
  void sonner() override { ++sonneries; }
};

// Le réveil branché sonne à chaque écriture qui laisse au moins le seuil dans l'anneau,
// refusée comprise (le consommateur est en retard : raison de plus) ; débranché, plus rien.
TEST(TamponAudio, SonneLeReveilDesQueLeSeuilEstTenu) {
  TamponAudio t(4000);
  ReveilCompte r;
  ASSERT_TRUE(t.ecrire(Octets(1000), 0));
  t.brancherReveil(&r, 1280);
  EXPECT_EQ(r.sonneries, 0) << "brancher ne sonne pas";
  ASSERT_TRUE(t.ecrire(Octets(276), 0));
  EXPECT_EQ(r.sonneries, 0) << "1276 octets : sous le seuil";
  ASSERT_TRUE(t.ecrire(Octets(4), 0));
  EXPECT_EQ(r.sonneries, 1) << "1280 : le seuil";
  ASSERT_TRUE(t.ecrire(Octets(4), 0));
  EXPECT_EQ(r.sonneries, 2) << "au-dessus, chaque écriture sonne";
  ASSERT_EQ(t.jeter(1284), 1284);
  ASSERT_TRUE(t.ecrire(Octets(1276), 0));
  EXPECT_EQ(r.sonneries, 2) << "lu, l'anneau repart de zéro";
  ASSERT_TRUE(t.ecrire(Octets(2724), 0));
  EXPECT_FALSE(t.ecrire(Octets(4), 0));
  EXPECT_EQ(r.sonneries, 4) << "plein : l'écriture refusée sonne aussi";
  t.brancherReveil(nullptr, 0);
  ASSERT_EQ(t.jeter(4000), 4000);
  ASSERT_TRUE(t.ecrire(Octets(2000), 0));
  EXPECT_EQ(r.sonneries, 4) << "débranché";
}

}  // namespace
}  // namespace ravlo
