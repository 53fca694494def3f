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

// Hôte StatusNotifier (icône sans géométrie) : le panneau part du pointeur, sous lui en haut
// de l'écran, au-dessus en bas, et reste dans la zone utile même au coin.
TEST(CadrePanneau, SansGeometrieLePointeurSertDAncre) {
  const QRect ecran(0, 32, 1920, 1048);  // une barre de 32 en haut
  const QSize taille(320, 500);
  const QRect icone(1000, 0, 24, 28);
  struct Cas {
    QRect icone;
    QPoint pointeur;
    QPoint attendu;
  };
  const Cas cas[] = {{icone, {5, 5}, {852, 40}},              // l'hôte dit où est l'icône
                     {{}, {1000, 10}, {841, 40}},             // barre en haut : dessous
                     {{}, {1910, 16}, {1592, 40}},            // coin haut-droit : rentré
                     {{}, {960, 1075}, {801, 569}},           // barre en bas : dessus
                     {{}, {2, 1079}, {8, 572}},               // coin bas-gauche
                     {{5, 5, 0, 0}, {600, 600}, {441, 94}}};  // vide
  for (const auto& [i, pointeur, attendu] : cas) {
    const QRect ancre = ancrePanneau(i, pointeur);
    EXPECT_EQ(positionPanneau(ancre, taille, ecran), attendu)
        << pointeur.x() << "," << pointeur.y();
  }
}

}  // namespace
}  // namespace ravlo
