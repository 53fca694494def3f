// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/anneau_link.hpp"

#include <QConicalGradient>
#include <QPainter>
#include <algorithm>

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

AnneauLink::AnneauLink(QWidget* parent) : QWidget(parent) {
  setFixedSize(120, 120);
  setAccessibleName(texteQt(texte("Niveau du son envoyé", localeCourante())));
  animation_.setDuration(120);
  animation_.setEasingCurve(QEasingCurve::OutCubic);
  animation_.setStartValue(0.0);
  animation_.setEndValue(1.0);
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
    const float t = v.toFloat();
    for (std::size_t i = 0; i < affiches_.size(); ++i) {
      affiches_[i] = depart_[i] + (cible_[i] - depart_[i]) * t;
    }
    update();
  });
}

void AnneauLink::changerNiveaux(const std::vector<float>& niveaux) {
  std::vector<float> cible(niveaux.size());
  // Entre 0 et 1 ; NaN compte pour 0.
  std::transform(niveaux.begin(), niveaux.end(), cible.begin(),
                 [](float n) { return n > 0 ? std::min(n, 1.0F) : 0.0F; });
  if (cible == cible_) return;
  animation_.stop();
  // Part de ce qui est affiché ; un historique d'une autre longueur repart de zéro.
  depart_ = affiches_.size() == cible.size() ? affiches_ : std::vector<float>(cible.size(), 0.0F);
  affiches_ = depart_;
  cible_ = std::move(cible);
  animation_.start();
}

void AnneauLink::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF centre = QRectF(rect()).center();
  constexpr double epaisseurMax = 14;
  const double rayon = std::min(width(), height()) / 2.0 - epaisseurMax / 2 - 1;
  const QRectF cercle(centre.x() - rayon, centre.y() - rayon, 2 * rayon, 2 * rayon);
  p.setPen(QPen(QColor(255, 255, 255, 22), 3));
  p.drawEllipse(cercle);
  if (affiches_.empty()) return;

  QConicalGradient degrade(centre, 90);
  degrade.setColorAt(0, couleurs::violet());
  degrade.setColorAt(0.5, couleurs::sarcelle());
  degrade.setColorAt(1, couleurs::violet());
  const double part = 360.0 / static_cast<double>(affiches_.size());
  constexpr double ecart = 8;
  for (std::size_t i = 0; i < affiches_.size(); ++i) {
    const double n = affiches_[i];
    p.setOpacity(0.35 + 0.65 * n);
    p.setPen(QPen(QBrush(degrade), 3 + (epaisseurMax - 3) * n, Qt::SolidLine, Qt::RoundCap));
    // Angles de Qt en seizièmes de degré, sens trigonométrique depuis 3 h.
    const double debut = 90 - static_cast<double>(i) * part - ecart / 2;
    p.drawArc(cercle, static_cast<int>(debut * 16), static_cast<int>(-(part - ecart) * 16));
  }
}

}  // namespace ravlo
