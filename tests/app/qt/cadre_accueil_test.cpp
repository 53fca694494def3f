#include "link/app/qt/cadre_accueil.hpp"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace ravlo {
namespace {

TEST(CadreAccueil, ChaqueFermetureSeSignaleUneFois) {
  CadreAccueil accueil;
  const QSignalSpy fermee(&accueil, &CadreAccueil::fermee);
  accueil.montrer();
  EXPECT_EQ(accueil.size(), QSize(460, 520));
  ASSERT_TRUE(accueil.close());
  EXPECT_EQ(fermee.count(), 1);
  EXPECT_FALSE(accueil.isVisible());
  accueil.close();  // déjà fermée : Qt ne redonne pas d'évènement
  EXPECT_EQ(fermee.count(), 1);
  accueil.montrer();
  accueil.close();
  EXPECT_EQ(fermee.count(), 2);
}

}  // namespace
}  // namespace ravlo
