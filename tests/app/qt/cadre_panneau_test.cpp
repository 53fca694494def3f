// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/cadre_panneau.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <optional>

namespace ravlo {
namespace {

// Sous ou sur l'icône, toujours à l'écran. Hôte StatusNotifier (icône sans géométrie) : le
// panneau part du pointeur, sous lui en haut de l'écran, au-dessus en bas, et reste dans la
// zone utile même au coin.
TEST(CadrePanneau, PoseSousOuSurLIconeOuLePointeurEtResteALEcran) {
  const QRect ecran(0, 0, 1920, 1080), barre(0, 32, 1920, 1048);  // une barre de 32 en haut
  const QSize taille(320, 500);
  struct Cas {
    QRect ecran, icone;
    std::optional<QPoint> pointeur;  // sans : l'icône seule sert d'ancre
    QPoint attendu;
  };
  const Cas cas[] = {{ecran, {1000, 0, 24, 28}, {}, {852, 34}},   // barre en haut au milieu
                     {ecran, {1890, 0, 24, 28}, {}, {1592, 34}},  // en haut au bord droit
                     {ecran, {4, 1052, 24, 28}, {}, {8, 546}},    // en bas au bord gauche
                     {ecran, {}, {}, {1592, 8}},                  // icône inconnue
                     // Écran plus petit que le panneau : le haut-gauche reste visible.
                     {{0, 0, 300, 400}, {100, 0, 24, 28}, {}, {8, 8}},
                     {barre, {1000, 0, 24, 28}, QPoint{5, 5}, {852, 40}},  // l'hôte dit où
                     {barre, {}, QPoint{1000, 10}, {841, 40}},    // barre en haut : dessous
                     {barre, {}, QPoint{1910, 16}, {1592, 40}},   // coin haut-droit : rentré
                     {barre, {}, QPoint{960, 1075}, {801, 569}},  // barre en bas : dessus
                     {barre, {}, QPoint{2, 1079}, {8, 572}},      // coin bas-gauche
                     {barre, {5, 5, 0, 0}, QPoint{600, 600}, {441, 94}}};  // vide
  for (const auto& [e, icone, pointeur, attendu] : cas) {
    const QRect ancre = pointeur ? ancrePanneau(icone, *pointeur) : icone;
    EXPECT_EQ(positionPanneau(ancre, taille, e), attendu)
        << icone.x() << "," << icone.y() << " " << ancre.x() << "," << ancre.y();
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
