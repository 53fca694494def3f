// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/alerte.hpp"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/etiquette_ajustee.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

Alerte::Alerte(QWidget* parent)
    : QWidget(parent),
      titre_(new EtiquetteAjustee(3, this)),
      texte_(new QLabel(this)),
      reglages_(
          new QPushButton(texteQt(ravlo::texte("Ouvrir les réglages", localeCourante())), this)) {
  auto* colonne = new QVBoxLayout(this);
  colonne->setContentsMargins(12, 10, 12, 10);
  colonne->setSpacing(4);
  titre_->setFont(police(Face::archivoBold, 0.95));
  texte_->setFont(police(Face::instrumentRegular, 0.9));
  texte_->setWordWrap(true);
  for (QLabel* l : {static_cast<QLabel*>(titre_), texte_}) {
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, couleurs::texteClair());
    l->setPalette(pal);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  QFont souligne = police(Face::instrumentSemiBold, 0.9);
  souligne.setUnderline(true);
  reglages_->setFont(souligne);
  reglages_->setFlat(true);
  reglages_->setCursor(Qt::PointingHandCursor);
  reglages_->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; padding: 0; "
                                          "text-align: left; background: transparent; }")
                               .arg(couleurs::orange().name()));
  reglages_->hide();
  colonne->addWidget(titre_);
  colonne->addWidget(texte_);
  colonne->addWidget(reglages_, 0, Qt::AlignLeft);
  connect(reglages_, &QPushButton::clicked, this, &Alerte::ouvrirReglages);
}

void Alerte::montrerMessage(const QString& titre, const QString& texte, bool avecReglages) {
  titre_->changerTexte(titre);
  texte_->setText(texte);
  reglages_->setVisible(avecReglages);
  setAccessibleName(titre);
  setAccessibleDescription(texte);
}

QString Alerte::titre() const {
  return titre_->texteComplet();
}

QString Alerte::texte() const {
  return texte_->text();
}

bool Alerte::offreReglages() const {
  return !reglages_->isHidden();
}

void Alerte::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath forme;
  forme.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
  QColor fond = couleurs::orange();
  fond.setAlphaF(0.13F);
  QColor bord = couleurs::orange();
  bord.setAlphaF(0.55F);
  p.fillPath(forme, fond);
  p.strokePath(forme, QPen(bord, 1));
}

}  // namespace ravlo
