// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/tuile_link.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/etiquette.hpp"

namespace ravlo {

TuileLink::TuileLink(const QString& titre, QWidget* contenu, QWidget* parent) : QWidget(parent) {
  auto* colonne = new QVBoxLayout(this);
  colonne->setContentsMargins(12, 10, 12, 12);
  colonne->setSpacing(8);
  colonne->addWidget(new Etiquette(titre, this));
  if (contenu != nullptr) colonne->addWidget(contenu);
}

void TuileLink::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath forme;
  forme.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
  p.fillPath(forme, couleurs::carte());
  p.strokePath(forme, QPen(QColor(255, 255, 255, 18), 1));
}

}  // namespace ravlo
