// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/carte_appareil.hpp"

#include <QAccessible>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "link/app/qt/accessibilite_link.hpp"
#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

CarteAppareil::CarteAppareil(const QString& nom, QWidget* parent) : QAbstractButton(parent) {
  installerAccessibiliteLink();
  setText(nom);
  setAccessibleName(nom);
  setFont(police(Face::instrumentMedium));
  setCursor(Qt::PointingHandCursor);
  connect(this, &QAbstractButton::clicked, this, &CarteAppareil::choisir);
}

void CarteAppareil::changerChoisi(bool choisi) {
  if (choisi == choisi_) return;
  choisi_ = choisi;
  update();
  QAccessible::State change;
  change.selected = true;
  QAccessibleStateChangeEvent evenement(this, change);
  QAccessible::updateAccessibility(&evenement);
}

void CarteAppareil::changerTelephone(bool telephone) {
  if (telephone == telephone_) return;
  telephone_ = telephone;
  setAccessibleDescription(telephone ? texteQt(texte("téléphone", localeCourante())) : QString());
  updateGeometry();
  update();
}

bool CarteAppareil::montreFocus() const {
  return hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

QRectF CarteAppareil::zoneTexte() const {
  return QRectF(rect()).adjusted(telephone_ ? 33 : 15, 1, -41, -1);
}

QString CarteAppareil::nomAffiche() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, static_cast<int>(zoneTexte().width()));
}

void CarteAppareil::resizeEvent(QResizeEvent* evenement) {
  QAbstractButton::resizeEvent(evenement);
  setToolTip(nomAffiche() == text() ? QString() : text());
}

QSize CarteAppareil::sizeHint() const {
  return {fontMetrics().horizontalAdvance(text()) + (telephone_ ? 74 : 56),
          fontMetrics().height() + 24};
}

void CarteAppareil::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF cadre = QRectF(rect()).adjusted(1, 1, -1, -1);
  QPainterPath forme;
  forme.addRoundedRect(cadre, 11, 11);
  p.fillPath(forme, choisi_ || isDown() ? QColor(255, 255, 255, 28) : couleurs::carte());
  if (choisi_) {
    QLinearGradient lisere(cadre.topLeft(), cadre.topRight());
    lisere.setColorAt(0, couleurs::violet());
    lisere.setColorAt(1, couleurs::sarcelle());
    p.strokePath(forme, QPen(QBrush(lisere), 1.5));
  }
  if (montreFocus()) {
    QPainterPath anneau;
    anneau.addRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 12, 12);
    p.strokePath(anneau, QPen(couleurs::texteClair(), 1.5, Qt::DashLine));
  }
  if (telephone_) {
    // Un téléphone debout, 10 × 16, son écouteur en haut.
    const QRectF corps(cadre.left() + 15, cadre.center().y() - 8, 10, 16);
    p.setPen(QPen(couleurs::sarcelle(), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(corps, 2.5, 2.5);
    p.drawLine(QPointF(corps.center().x() - 1.5, corps.top() + 2.5),
               QPointF(corps.center().x() + 1.5, corps.top() + 2.5));
  }
  p.setPen(couleurs::texteClair());
  p.drawText(zoneTexte(), Qt::AlignVCenter | Qt::AlignLeft, nomAffiche());
  if (choisi_) {
    const QPointF c(cadre.right() - 22, cadre.center().y());
    QPainterPath coche;
    coche.moveTo(c + QPointF(-5, 0));
    coche.lineTo(c + QPointF(-1.5, 3.5));
    coche.lineTo(c + QPointF(5.5, -4));
    p.strokePath(coche,
                 QPen(couleurs::sarcelle(), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  }
}

}  // namespace ravlo
