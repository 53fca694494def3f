#include "link/app/qt/badge_link.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

// Au repos la tuile s'efface à 0,6 ; un problème la passe en orange uni.
TEST(BadgeLink, LesTroisEtatsDifferentParLaTuileEtLOpacite) {
  struct Cas {
    EtatBadge etat;
    bool degrade;
    int alpha;
  };
  for (const Cas& c : {Cas{EtatBadge::repos, true, 153}, Cas{EtatBadge::envoi, true, 255},
                       Cas{EtatBadge::probleme, false, 255}}) {
    SCOPED_TRACE(static_cast<int>(c.etat));
    const QImage image = imageBadge(c.etat).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(36, 32));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "coin arrondi";
    // Deux coins de la tuile, hors des lettres et des arrondis.
    const QColor haut = image.pixelColor(5, 5);
    const QColor bas = image.pixelColor(30, 26);
    EXPECT_NEAR(haut.alpha(), c.alpha, 2);
    EXPECT_NEAR(bas.alpha(), c.alpha, 2);
    if (c.degrade) {
      EXPECT_GT(haut.red(), bas.red() + 60) << "violet vers sarcelle";
    } else {
      EXPECT_EQ(haut.rgb(), bas.rgb());
      EXPECT_GT(haut.red(), 240);
      EXPECT_LT(haut.blue(), 110);
    }
  }
}

}  // namespace
}  // namespace ravlo
