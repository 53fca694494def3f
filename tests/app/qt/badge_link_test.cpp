#include "link/app/qt/badge_link.hpp"

#include <gtest/gtest.h>

#include <QColor>

namespace ravlo {
namespace {

// Couleur attendue du dégradé au centre du pixel (x, y) d'une tuile de 36 × 32 : projection
// sur la diagonale haut-gauche → bas-droite.
QColor degradeEn(double x, double y) {
  const double t = (x * 36 + y * 32) / (36.0 * 36 + 32.0 * 32);
  const QColor v = QColor::fromRgbF(0.638F, 0.521F, 1.0F);
  const QColor s = QColor::fromRgbF(0.0F, 0.756F, 0.799F);
  return QColor::fromRgbF(static_cast<float>(v.redF() + (s.redF() - v.redF()) * t),
                          static_cast<float>(v.greenF() + (s.greenF() - v.greenF()) * t),
                          static_cast<float>(v.blueF() + (s.blueF() - v.blueF()) * t));
}

void attendreCouleur(const QColor& lu, const QColor& attendu, int alpha, const char* ou) {
  SCOPED_TRACE(ou);
  EXPECT_NEAR(lu.red(), attendu.red(), 3);
  EXPECT_NEAR(lu.green(), attendu.green(), 3);
  EXPECT_NEAR(lu.blue(), attendu.blue(), 3);
  EXPECT_NEAR(lu.alpha(), alpha, 2);
}

TEST(BadgeLink, LesTroisEtatsDifferentParLaTuileEtLOpacite) {
  const QColor orange = QColor::fromRgbF(0.992F, 0.667F, 0.345F);
  struct Cas {
    EtatBadge etat;
    bool degrade;
    int alpha;
  };
  for (const Cas& cas : {Cas{EtatBadge::repos, true, 153}, Cas{EtatBadge::envoi, true, 255},
                         Cas{EtatBadge::probleme, false, 255}}) {
    SCOPED_TRACE(static_cast<int>(cas.etat));
    const QImage image = imageBadge(cas.etat).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(36, 32));
    EXPECT_DOUBLE_EQ(image.devicePixelRatio(), 2.0);
    // Deux coins de la tuile, hors des lettres et des arrondis.
    attendreCouleur(image.pixelColor(5, 5), cas.degrade ? degradeEn(5.5, 5.5) : orange, cas.alpha,
                    "haut-gauche");
    attendreCouleur(image.pixelColor(30, 26), cas.degrade ? degradeEn(30.5, 26.5) : orange,
                    cas.alpha, "bas-droite");
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "coin arrondi";
    // Les lettres : le pixel le plus sombre est l'encre.
    QColor sombre = Qt::white;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (c.alpha() > 0 &&
            c.red() + c.green() + c.blue() < sombre.red() + sombre.green() + sombre.blue()) {
          sombre = c;
        }
      }
    }
    attendreCouleur(sombre, QColor::fromRgbF(0.043F, 0.039F, 0.059F), cas.alpha, "encre");
  }
}

}  // namespace
}  // namespace ravlo
