// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/cadre_panneau.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

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

// Un contenu plus haut que la zone utile défile sous l'en-tête : le panneau n'en dépasse pas
// (marge 8), et celui qui grandit vers le bas remonte pour y rester entier ; redevenu court,
// il reprend sa hauteur et ne défile plus.
TEST(CadrePanneau, PlusHautQueLEcranLeContenuDefile) {
  const QRect zone(0, 0, 640, 400);
  CadrePanneau cadre;
  auto* contenu = new QWidget;
  auto* pile = new QVBoxLayout(contenu);
  auto* bloc = new QWidget(contenu);
  pile->addWidget(bloc);
  cadre.changerContenu(contenu);
  cadre.show();
  for (const auto& [hauteur, defile] : {std::pair{200, false}, {900, true}, {120, false}}) {
    SCOPED_TRACE(hauteur);
    bloc->setFixedHeight(hauteur);
    cadre.move(10, 40);
    cadre.ajusterA(zone);
    QApplication::processEvents();
    EXPECT_TRUE(zone.adjusted(8, 8, -8, -8).contains(cadre.geometry())) << "entier à l'écran";
    EXPECT_EQ(cadre.defilement()->verticalScrollBar()->maximum() > 0, defile);
    EXPECT_LE(contenu->width(), cadre.defilement()->viewport()->width())
        << "rien de rogné à droite";
    if (!defile) {
      EXPECT_EQ(cadre.y(), 40) << "qui tient ne bouge pas";
      EXPECT_GE(cadre.defilement()->height(), hauteur);
    }
  }
  // Le contenu qui change de lui-même (un widget montré plus tard) est suivi.
  bloc->setFixedHeight(250);
  QApplication::processEvents();
  QApplication::processEvents();
  EXPECT_GE(cadre.defilement()->height(), 250);
  EXPECT_EQ(cadre.defilement()->verticalScrollBar()->maximum(), 0);
}

}  // namespace
}  // namespace ravlo
