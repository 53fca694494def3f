#include "protocol/suivi_sequence.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

TEST(SuiviSequence, PertesRetardsEtDoublons) {
  SuiviSequence suivi;
  EXPECT_EQ(suivi.tauxDePerte(), 0.0);
  EXPECT_TRUE(suivi.noter(7));
  EXPECT_TRUE(suivi.noter(8));
  EXPECT_TRUE(suivi.noter(11));
  EXPECT_EQ(suivi.recus(), 3);
  EXPECT_EQ(suivi.perdus(), 2);
  EXPECT_FALSE(suivi.noter(9));
  EXPECT_EQ(suivi.horsOrdre(), 1);
  EXPECT_FALSE(suivi.noter(11));
  EXPECT_EQ(suivi.horsOrdre(), 2);
  EXPECT_EQ(suivi.perdus(), 2) << "un retard ne corrige pas les pertes";
  EXPECT_EQ(suivi.derniere(), 11u);
  EXPECT_EQ(suivi.recus(), 3);
}

TEST(SuiviSequence, TourA2Puissance32) {
  SuiviSequence suivi;
  suivi.noter(UINT32_MAX - 1);
  EXPECT_TRUE(suivi.noter(UINT32_MAX));
  EXPECT_TRUE(suivi.noter(0));
  EXPECT_TRUE(suivi.noter(2));
  EXPECT_EQ(suivi.perdus(), 1);
  EXPECT_FALSE(suivi.noter(UINT32_MAX)) << "3 en arrière, de l'autre côté du tour";
  EXPECT_EQ(suivi.derniere(), 2u);
  // La plus grande avance possible, 2³¹ − 1 crans.
  SuiviSequence loin;
  loin.noter(0);
  EXPECT_TRUE(loin.noter(INT32_MAX));
  EXPECT_EQ(loin.perdus(), INT32_MAX - 1);
}

TEST(SuiviSequence, PlusDeCinqCentsEnArriereEstUnRedemarrage) {
  SuiviSequence suivi;
  suivi.noter(1000);
  EXPECT_FALSE(suivi.noter(500)) << "500 en arrière : en retard";
  EXPECT_TRUE(suivi.noter(499)) << "501 en arrière : l'émetteur a recommencé";
  EXPECT_EQ(suivi.derniere(), 499u);
  EXPECT_EQ(suivi.recus(), 2);
  EXPECT_EQ(suivi.horsOrdre(), 1);
  EXPECT_TRUE(suivi.noter(500));
  EXPECT_EQ(suivi.perdus(), 0);
  // 2³¹ en avance se lit en arrière, bien au-delà de 500 : un redémarrage aussi.
  EXPECT_TRUE(suivi.noter(500u + (1u << 31)));
  EXPECT_EQ(suivi.perdus(), 0);
}

TEST(SuiviSequence, TauxDePerte) {
  SuiviSequence suivi;
  suivi.noter(0);
  suivi.noter(3);
  for (std::uint32_t n = 4; n < 100; ++n) suivi.noter(n);
  ASSERT_EQ(suivi.recus(), 98);
  ASSERT_EQ(suivi.perdus(), 2);
  EXPECT_DOUBLE_EQ(suivi.tauxDePerte(), 0.02);
}

}  // namespace
}  // namespace ravlo
