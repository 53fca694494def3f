// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/logo_link.hpp"

#include <QPainter>

#include "link/app/qt/badge_link.hpp"

namespace ravlo {

LogoLink::LogoLink(int taille, QWidget* parent) : QWidget(parent) {
  setFixedSize(taille, taille);
  setAccessibleName(QStringLiteral("Ravlo Link"));
}

void LogoLink::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  dessinerBadge(p, QRectF(rect()), EtatBadge::envoi);
}

}  // namespace ravlo
