// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/bouton_link.hpp"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/polices.hpp"

namespace ravlo {

namespace {
constexpr int hauteurBouton = 38;
constexpr double rayonBouton = 13;
}  // namespace

BoutonLink::BoutonLink(const QString& libelle, Sorte sorte, QWidget* parent)
    : QAbstractButton(parent), sorte_(sorte) {
  setText(libelle);
  setFont(police(Face::instrumentSemiBold));
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize BoutonLink::sizeHint() const {
  return {fontMetrics().horizontalAdvance(text()) + 40, hauteurBouton};
}

void BoutonLink::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setOpacity(isEnabled() ? 1.0 : 0.45);
  const QRectF cadre(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  QPainterPath forme;
  forme.addRoundedRect(cadre, rayonBouton, rayonBouton);
  const bool enfonce = isDown();
  QColor texteCouleur;
  if (sorte_ == Sorte::degrade) {
    const bool aLEndroit = layoutDirection() == Qt::LeftToRight;
    QLinearGradient degrade(aLEndroit ? cadre.topLeft() : cadre.topRight(),
                            aLEndroit ? cadre.topRight() : cadre.topLeft());
    degrade.setColorAt(0, enfonce ? couleurs::violet().darker(120) : couleurs::violet());
    degrade.setColorAt(1, enfonce ? couleurs::sarcelle().darker(120) : couleurs::sarcelle());
    p.fillPath(forme, degrade);
    texteCouleur = couleurs::encre();
  } else {
    const QColor fond = QColor::fromRgbF(0.204F, 0.192F, 0.259F);
    p.fillPath(forme, enfonce ? fond.darker(130) : fond);
    texteCouleur = couleurs::texteClair();
  }
  // Le liseré de focus pour qui navigue au clavier seulement, comme les styles de Qt.
  if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
    p.strokePath(forme, QPen(couleurs::texteClair(), 1.5));
  }
  p.setPen(texteCouleur);
  p.drawText(cadre, Qt::AlignCenter, text());
}

QPushButton* boutonTexte(const QString& libelle, QWidget* parent, double echelle) {
  auto* b = new QPushButton(libelle, parent);
  b->setFlat(true);
  b->setFont(police(Face::instrumentMedium, echelle));
  b->setCursor(Qt::PointingHandCursor);
  b->setStyleSheet(
      QStringLiteral("QPushButton { color: %1; border: none; padding: 2px 0; "
                     "background: transparent; } QPushButton:pressed { color: %2; }")
          .arg(couleurs::texteDoux().name(QColor::HexArgb), couleurs::texteClair().name()));
  return b;
}

}  // namespace ravlo
