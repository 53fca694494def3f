#include "link/app/qt/cadre_panneau.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

TEST(CadrePanneau, PoseSousOuSurLIconeEtResteALEcran) {
  const QRect ecran(0, 0, 1920, 1080);
  const QSize taille(320, 500);
  // Barre en haut au milieu, en haut au bord droit, en bas au bord gauche ; icône inconnue.
  const std::pair<QRect, QPoint> cas[] = {{{1000, 0, 24, 28}, {852, 34}},
                                          {{1890, 0, 24, 28}, {1592, 34}},
                                          {{4, 1052, 24, 28}, {8, 546}},
                                          {{}, {1592, 8}}};
  for (const auto& [icone, attendu] : cas) {
    EXPECT_EQ(positionPanneau(icone, taille, ecran), attendu) << icone.x() << "," << icone.y();
  }
  // Écran plus petit que le panneau : le haut-gauche reste visible.
  EXPECT_EQ(positionPanneau({100, 0, 24, 28}, taille, QRect(0, 0, 300, 400)), QPoint(8, 8));
}

}  // namespace
}  // namespace ravlo
