// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/barre_miniature.hpp"

#include <QPainter>
#include <QPainterPath>

#include "link/app/qt/badge_link.hpp"
#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

namespace {

constexpr int hauteurBarre = 30;
constexpr int ecart = 12;
constexpr double coteIcone = 12;
constexpr QSizeF badge(18, 16);
// Une heure neutre : l'image ne dit ni jour ni format de date.
const QString heure = QStringLiteral("14:02");

void dessinerReseau(QPainter& p, const QRectF& r) {
  // Trois barres croissantes.
  for (int i = 0; i < 3; ++i) {
    const double h = r.height() * (i + 1) / 3.0;
    p.drawRoundedRect(QRectF(r.left() + i * r.width() / 3.0, r.bottom() - h, r.width() / 4.0, h), 1,
                      1);
  }
}

void dessinerSon(QPainter& p, const QRectF& r) {
  QPainterPath hp;
  hp.moveTo(r.left(), r.top() + r.height() * 0.35);
  hp.lineTo(r.left() + r.width() * 0.3, r.top() + r.height() * 0.35);
  hp.lineTo(r.left() + r.width() * 0.6, r.top());
  hp.lineTo(r.left() + r.width() * 0.6, r.bottom());
  hp.lineTo(r.left() + r.width() * 0.3, r.top() + r.height() * 0.65);
  hp.lineTo(r.left(), r.top() + r.height() * 0.65);
  hp.closeSubpath();
  p.drawPath(hp);
  p.save();
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(couleurs::texteClair(), 1.2));
  p.drawArc(QRectF(r.left() + r.width() * 0.45, r.top() + 2, r.width() * 0.5, r.height() - 4),
            -60 * 16, 120 * 16);
  p.restore();
}

void dessinerAlimentation(QPainter& p, const QRectF& r) {
  p.save();
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(couleurs::texteClair(), 1.4, Qt::SolidLine, Qt::RoundCap));
  p.drawArc(r.adjusted(1, 2, -1, 0), 120 * 16, 300 * 16);
  p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.center().y()));
  p.restore();
}

}  // namespace

BarreMiniature::BarreMiniature(QWidget* parent) : QWidget(parent) {
  setFont(police(Face::plexMonoMedium, 0.85));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAccessibleName(
      texteQt(texte("Barre du haut du bureau : l'icône de Ravlo Link est à droite, dans la zone de "
                    "notification",
                    localeCourante())));
}

QSize BarreMiniature::sizeHint() const {
  return {340, hauteurBarre};
}

void BarreMiniature::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath forme;
  forme.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
  p.fillPath(forme, QColor(0, 0, 0, 110));
  p.strokePath(forme, QPen(QColor(255, 255, 255, 22), 1));
  const double milieu = height() / 2.0;

  // À gauche, les espaces de travail : l'actif en pilule, les autres en points.
  p.setPen(Qt::NoPen);
  p.setBrush(couleurs::texteClair());
  p.drawRoundedRect(QRectF(ecart, milieu - 3, 16, 6), 3, 3);
  p.setBrush(couleurs::texteDoux());
  for (int i = 0; i < 2; ++i) p.drawEllipse(QPointF(ecart + 26 + i * 11, milieu), 3, 3);

  p.setPen(couleurs::texteClair());
  p.drawText(rect(), Qt::AlignCenter, heure);

  // À droite, de droite à gauche : alimentation, son, réseau, puis le badge.
  p.setPen(Qt::NoPen);
  p.setBrush(couleurs::texteClair());
  double droite = width() - ecart;
  const auto place = [&](double largeur, double haut) {
    droite -= largeur;
    const QRectF r(droite, milieu - haut / 2, largeur, haut);
    droite -= ecart;
    return r;
  };
  dessinerAlimentation(p, place(coteIcone, coteIcone));
  dessinerSon(p, place(coteIcone, coteIcone));
  dessinerReseau(p, place(coteIcone, coteIcone));
  const QRectF zone = place(badge.width(), badge.height());
  p.setPen(QPen(couleurs::sarcelle(), 1.5));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(zone.adjusted(-4, -4, 4, 4), 8, 8);
  dessinerBadge(p, zone, EtatBadge::envoi);
}

}  // namespace ravlo
