// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/etape_link.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/polices.hpp"

namespace ravlo {

namespace {

class Pastille final : public QWidget {
 public:
  Pastille(QString rang, QWidget* parent) : QWidget(parent), rang_(std::move(rang)) {
    setFixedSize(20, 20);
    setFont(police(Face::plexMonoSemiBold, 0.75));
    setAccessibleName(rang_);
  }

 protected:
  void paintEvent(QPaintEvent* /*evenement*/) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient degrade(0, 0, width(), height());
    degrade.setColorAt(0, couleurs::violet());
    degrade.setColorAt(1, couleurs::sarcelle());
    p.setPen(Qt::NoPen);
    p.setBrush(degrade);
    p.drawEllipse(QRectF(rect()));
    p.setPen(couleurs::encre());
    p.drawText(rect(), Qt::AlignCenter, rang_);
  }

 private:
  QString rang_;
};

}  // namespace

EtapeLink::EtapeLink(long long rang, const QString& texte, QWidget* parent) : QWidget(parent) {
  auto* ligne = new QHBoxLayout(this);
  ligne->setContentsMargins(0, 0, 0, 0);
  ligne->setSpacing(10);
  ligne->addWidget(new Pastille(QString::number(rang), this), 0, Qt::AlignTop);
  auto* libelle = new QLabel(texte, this);
  libelle->setWordWrap(true);
  libelle->setFont(police(Face::instrumentRegular));
  QPalette pal = libelle->palette();
  pal.setColor(QPalette::WindowText, couleurs::texteClair());
  libelle->setPalette(pal);
  ligne->addWidget(libelle, 1);
}

}  // namespace ravlo
