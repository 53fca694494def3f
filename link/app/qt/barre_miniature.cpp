#include "link/app/qt/barre_miniature.hpp"

#include <QPainter>
#include <QPainterPath>

#include "link/app/qt/badge_link.hpp"
#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

namespace {
constexpr int hauteur = 34;
constexpr int ecart = 14;
constexpr QSizeF badge(18, 16);
}  // namespace

BarreMiniature::BarreMiniature(QWidget* parent)
    : QWidget(parent),
      wifi_(texteQt(texte("Wi-Fi", localeCourante()))),
      heure_(texteQt(texte("sam. 14:02", localeCourante()))) {
  setFont(police(Face::plexMonoMedium, 0.85));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAccessibleName(QStringLiteral("Ravlo Link"));
}

QSize BarreMiniature::sizeHint() const {
  const int textes =
      fontMetrics().horizontalAdvance(wifi_) + fontMetrics().horizontalAdvance(heure_);
  return {textes + static_cast<int>(badge.width()) + 5 * ecart, hauteur};
}

void BarreMiniature::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath forme;
  forme.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
  p.fillPath(forme, QColor(0, 0, 0, 110));
  p.strokePath(forme, QPen(QColor(255, 255, 255, 22), 1));

  // De droite à gauche, comme la barre qu'elle imite : l'heure, le Wi-Fi, puis le badge.
  p.setPen(couleurs::texteClair());
  double droite = width() - ecart;
  for (const QString* t : {&heure_, &wifi_}) {
    const double l = fontMetrics().horizontalAdvance(*t);
    p.drawText(QRectF(droite - l, 0, l, height()), Qt::AlignCenter, *t);
    droite -= l + ecart;
  }
  const QRectF place(droite - badge.width(), (height() - badge.height()) / 2, badge.width(),
                     badge.height());
  p.setPen(QPen(couleurs::sarcelle(), 1.5));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(place.adjusted(-4, -4, 4, 4), 8, 8);
  dessinerBadge(p, place, EtatBadge::envoi);
}

}  // namespace ravlo
