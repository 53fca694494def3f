// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/carte_piece.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/etiquette.hpp"
#include "link/app/qt/etiquette_ajustee.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/textes_qt.hpp"
#include "link/app/regles_panneau.hpp"

namespace ravlo {

CartePiece::CartePiece(const QString& nom, QWidget* parent) : QWidget(parent) {
  auto* rangee = new QHBoxLayout(this);
  rangee->setContentsMargins(15, 8, 10, 8);
  auto* textes = new QVBoxLayout;
  textes->setSpacing(2);
  auto* nomPiece = new EtiquetteAjustee(2, this);
  nomPiece->setFont(police(Face::instrumentMedium));
  QPalette pal = nomPiece->palette();
  pal.setColor(QPalette::WindowText, couleurs::texteClair());
  nomPiece->setPalette(pal);
  nomPiece->changerTexte(nom);
  ennui_ = libelle(police(Face::instrumentRegular, 0.85), couleurs::orange(), this);
  ennui_->hide();
  textes->addWidget(nomPiece);
  textes->addWidget(ennui_);
  rangee->addLayout(textes, 1);

  retirer_ = boutonTexte(texteQt(texte("Retirer", localeCourante())), this, 0.85);
  retirer_->setAccessibleName(
      QString::fromStdString(avecNoms(texte("Retirer %s", localeCourante()), {nom.toStdString()})));
  connect(retirer_, &QPushButton::clicked, this, &CartePiece::retirer);
  rangee->addWidget(retirer_, 0, Qt::AlignVCenter);
}

void CartePiece::changerEnnui(const QString& ennui) {
  ennui_->setText(ennui);
  ennui_->setVisible(!ennui.isEmpty());
}

QString CartePiece::ennui() const {
  return ennui_->text();
}

void CartePiece::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath forme;
  forme.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 11, 11);
  p.fillPath(forme, couleurs::carte());
  if (!ennui_->text().isEmpty()) p.strokePath(forme, QPen(couleurs::orange(), 1.5));
}

}  // namespace ravlo
