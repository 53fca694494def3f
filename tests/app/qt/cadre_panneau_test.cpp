#include "link/app/qt/cadre_panneau.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

TEST(CadrePanneau, PoseSousOuSurLIconeEtResteALEcran) {
  const QRect ecran(0, 0, 1920, 1080);
  const QSize taille(320, 500);
  const struct {
    const char* cas;
    QRect icone;
    QPoint attendu;
  } cas[] = {
      {"barre en haut, au milieu", {1000, 0, 24, 28}, {852, 34}},
      {"barre en haut, au bord droit", {1890, 0, 24, 28}, {1592, 34}},
      {"barre en bas, au bord gauche", {4, 1052, 24, 28}, {8, 546}},
      {"icône inconnue", {}, {1592, 8}},
  };
  for (const auto& c : cas) {
    EXPECT_EQ(positionPanneau(c.icone, taille, ecran), c.attendu) << c.cas;
  }
  // Écran plus petit que le panneau : le haut-gauche reste visible.
  EXPECT_EQ(positionPanneau({100, 0, 24, 28}, taille, QRect(0, 0, 300, 400)), QPoint(8, 8));
}

}  // namespace
}  // namespace ravlo
