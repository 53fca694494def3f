// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/badge_link.hpp"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <cmath>

#include "link/app/qt/couleurs_link.hpp"

namespace ravlo {

namespace {

constexpr double largeurPoints = 18.0;
constexpr double hauteurPoints = 16.0;
constexpr double rayonPoints = 5.0;
constexpr double taillePolicePoints = 7.5;

// Le badge opaque dans (0, 0, 18k, 16k).
void dessinerOpaque(QPainter& p, double k, EtatBadge etat) {
  const QRectF tuile(0, 0, largeurPoints * k, hauteurPoints * k);
  QPainterPath forme;
  forme.addRoundedRect(tuile, rayonPoints * k, rayonPoints * k);
  if (etat == EtatBadge::probleme) {
    p.fillPath(forme, couleurs::orange());
  } else {
    QLinearGradient degrade(tuile.topLeft(), tuile.bottomRight());
    degrade.setColorAt(0, couleurs::violet());
    degrade.setColorAt(1, couleurs::sarcelle());
    p.fillPath(forme, degrade);
  }

  // Le contour des lettres est pris à grande taille puis réduit : les tailles de police
  // fractionnaires et la résolution de l'appareil n'y changent rien.
  constexpr int reference = 100;
  QFont police = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  police.setPixelSize(reference);
  police.setWeight(QFont::ExtraBold);
  const QString lettres = QStringLiteral("R!");
  const QFontMetricsF mesures(police);
  QPainterPath contour;
  contour.addText(0, 0, police, lettres);
  const double s = taillePolicePoints * k / reference;
  const double largeur = mesures.horizontalAdvance(lettres) * s;
  const double hauteur = (mesures.ascent() + mesures.descent()) * s;
  QTransform t;
  t.translate((tuile.width() - largeur) / 2, (tuile.height() - hauteur) / 2 + mesures.ascent() * s);
  t.scale(s, s);
  p.fillPath(t.map(contour), couleurs::encre());
}

}  // namespace

void dessinerBadge(QPainter& peintre, const QRectF& cadre, EtatBadge etat) {
  const double k = std::min(cadre.width() / largeurPoints, cadre.height() / hauteurPoints);
  if (!(k > 0)) return;
  const QRectF place(cadre.center().x() - largeurPoints * k / 2,
                     cadre.center().y() - hauteurPoints * k / 2, largeurPoints * k,
                     hauteurPoints * k);
  // L'opacité vaut pour le badge entier : tuile et lettres passent par un calque, sinon la
  // tuile transparaîtrait sous les lettres.
  const double pixelsParUnite =
      std::hypot(peintre.deviceTransform().m11(), peintre.deviceTransform().m12());
  const double ratio = pixelsParUnite > 0 ? pixelsParUnite : 1.0;
  QImage calque(static_cast<int>(std::ceil(place.width() * ratio)),
                static_cast<int>(std::ceil(place.height() * ratio)),
                QImage::Format_ARGB32_Premultiplied);
  if (calque.isNull()) return;
  calque.fill(Qt::transparent);
  {
    QPainter p(&calque);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(ratio, ratio);
    dessinerOpaque(p, k, etat);
  }
  peintre.save();
  peintre.setRenderHint(QPainter::SmoothPixmapTransform);
  peintre.setOpacity(peintre.opacity() * (etat == EtatBadge::repos ? 0.6 : 1.0));
  peintre.drawImage(place, calque);
  peintre.restore();
}

QImage imageBadge(EtatBadge etat, double ratio) {
  QImage image(static_cast<int>(std::lround(largeurPoints * ratio)),
               static_cast<int>(std::lround(hauteurPoints * ratio)),
               QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return {};
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  QPainter p(&image);
  dessinerBadge(p, QRectF(0, 0, largeurPoints, hauteurPoints), etat);
  return image;
}

QImage imageBadgeCarree(EtatBadge etat, int cote, double ratio) {
  const int pixels = static_cast<int>(std::lround(cote * ratio));
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return {};
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  QPainter p(&image);
  dessinerBadge(p, QRectF(0, 0, cote, cote), etat);
  return image;
}

QIcon iconeBadge(EtatBadge etat) {
  QIcon icone;
  icone.addPixmap(QPixmap::fromImage(imageBadgeCarree(etat, 18, 2.0)));
  for (const int cote : {48, 64, 128}) {
    icone.addPixmap(QPixmap::fromImage(imageBadgeCarree(etat, cote)));
  }
  return icone;
}

}  // namespace ravlo
