// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/interrupteur.hpp"

#include <QAccessible>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "link/app/qt/accessibilite_link.hpp"
#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

namespace {
constexpr int largeurGlissiere = 40;
constexpr int hauteurGlissiere = 24;
}  // namespace

Interrupteur::Interrupteur(const QString& libelle, QWidget* parent) : QAbstractButton(parent) {
  installerAccessibiliteLink();
  setText(libelle);
  setAccessibleName(libelle);
  setFont(police(Face::instrumentMedium));
  setCursor(Qt::PointingHandCursor);
  setToolTip(texteQt(texte("L'ordinateur se tait pendant l'envoi, et reparle dès qu'on l'arrête.",
                           localeCourante())));
  connect(this, &QAbstractButton::clicked, this, &Interrupteur::basculer);
}

void Interrupteur::changerLibelle(const QString& libelle) {
  if (libelle == text()) return;
  setText(libelle);
  setAccessibleName(libelle);
  updateGeometry();
}

void Interrupteur::changerActif(bool actif) {
  if (actif == actif_) return;
  actif_ = actif;
  update();
  QAccessible::State change;
  change.checked = true;
  QAccessibleStateChangeEvent etat(this, change);
  QAccessible::updateAccessibility(&etat);
  QAccessibleValueChangeEvent valeur(this, actif_);
  QAccessible::updateAccessibility(&valeur);
}

QSize Interrupteur::sizeHint() const {
  const int texte = fontMetrics().horizontalAdvance(text());
  return {texte + 16 + largeurGlissiere, std::max(hauteurGlissiere, fontMetrics().height()) + 8};
}

void Interrupteur::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF glissiere(width() - largeurGlissiere, (height() - hauteurGlissiere) / 2.0,
                         largeurGlissiere, hauteurGlissiere);
  p.setPen(couleurs::texteClair());
  p.drawText(QRectF(0, 0, glissiere.left() - 8, height()), Qt::AlignVCenter | Qt::AlignLeft,
             text());
  QPainterPath piste;
  piste.addRoundedRect(glissiere, hauteurGlissiere / 2.0, hauteurGlissiere / 2.0);
  if (actif_) {
    QLinearGradient degrade(glissiere.topLeft(), glissiere.topRight());
    degrade.setColorAt(0, couleurs::violet());
    degrade.setColorAt(1, couleurs::sarcelle());
    p.fillPath(piste, degrade);
  } else {
    p.fillPath(piste, QColor(255, 255, 255, 40));
  }
  const double diametre = hauteurGlissiere - 6.0;
  const double x = actif_ ? glissiere.right() - 3 - diametre : glissiere.left() + 3;
  p.setPen(Qt::NoPen);
  p.setBrush(isDown() ? couleurs::texteClair().darker(115) : couleurs::texteClair());
  p.drawEllipse(QRectF(x, glissiere.top() + 3, diametre, diametre));
  if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
    p.setPen(QPen(couleurs::sarcelle(), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(glissiere.adjusted(-2, -2, 2, 2), hauteurGlissiere / 2.0 + 2,
                      hauteurGlissiere / 2.0 + 2);
  }
}

}  // namespace ravlo
