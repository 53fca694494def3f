// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/saisie_code.hpp"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

namespace {
constexpr int cases = 4;
constexpr int ecartCases = 10;
constexpr int hauteurCase = 54;
}  // namespace

SaisieCode::SaisieCode(QWidget* parent) : QWidget(parent), champ_(new QLineEdit(this)) {
  champ_->setAccessibleName(
      texteQt(texte("Code à 4 chiffres affiché sur le récepteur", localeCourante())));
  // Invisible à l'œil (texte, curseur, sélection) mais présent pour le clavier, la souris et
  // l'accessibilité : seules les cases se voient.
  champ_->setFrame(false);
  auto* transparence = new QGraphicsOpacityEffect(champ_);
  transparence->setOpacity(0);
  champ_->setGraphicsEffect(transparence);
  champ_->setInputMethodHints(Qt::ImhDigitsOnly);
  champ_->installEventFilter(this);
  setFocusProxy(champ_);
  setFont(police(Face::archivoBold, 1.6));
  setCursor(Qt::IBeamCursor);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setMinimumHeight(hauteurCase);
  connect(champ_, &QLineEdit::textChanged, this, &SaisieCode::texteChange);
  connect(champ_, &QLineEdit::returnPressed, this, &SaisieCode::valider);
}

void SaisieCode::changerFiltre(Filtre filtre) {
  filtre_ = std::move(filtre);
  texteChange(champ_->text());
}

void SaisieCode::changerCode(const QString& code) {
  if (code != champ_->text()) champ_->setText(code);
}

QString SaisieCode::code() const {
  return champ_->text();
}

QSize SaisieCode::sizeHint() const {
  return {cases * 52 + (cases - 1) * ecartCases, hauteurCase};
}

void SaisieCode::texteChange(const QString& texte) {
  if (reecriture_) return;
  const QString retenu = filtre_ ? filtre_(texte) : texte;
  if (retenu != texte) {
    reecriture_ = true;
    champ_->setText(retenu);
    champ_->setCursorPosition(static_cast<int>(retenu.size()));
    reecriture_ = false;
  }
  update();
  emit codeChange(retenu);
}

void SaisieCode::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QString code = champ_->text();
  const bool actif = champ_->hasFocus();
  const double largeur = (width() - (cases - 1) * ecartCases) / static_cast<double>(cases);
  for (int i = 0; i < cases; ++i) {
    const QRectF cadre(i * (largeur + ecartCases) + 0.5, 0.5, largeur - 1, height() - 1);
    QPainterPath forme;
    forme.addRoundedRect(cadre, 12, 12);
    p.fillPath(forme, couleurs::carte());
    const bool prochaine = actif && i == std::min(static_cast<int>(code.size()), cases - 1);
    if (prochaine) {
      QLinearGradient degrade(cadre.topLeft(), cadre.bottomRight());
      degrade.setColorAt(0, couleurs::violet());
      degrade.setColorAt(1, couleurs::sarcelle());
      p.strokePath(forme, QPen(QBrush(degrade), 2));
    } else {
      p.strokePath(forme, QPen(QColor(255, 255, 255, 30), 1));
    }
    if (i < code.size()) {
      p.setPen(couleurs::texteClair());
      p.drawText(cadre, Qt::AlignCenter, code.at(i));
    }
  }
}

void SaisieCode::resizeEvent(QResizeEvent* /*evenement*/) {
  champ_->setGeometry(rect());
}

void SaisieCode::mousePressEvent(QMouseEvent* /*evenement*/) {
  champ_->setFocus(Qt::MouseFocusReason);
}

void SaisieCode::showEvent(QShowEvent* /*evenement*/) {
  // Après l'affichage de la fenêtre, sinon le focus ne tient pas.
  QTimer::singleShot(0, champ_, [champ = champ_] { champ->setFocus(Qt::OtherFocusReason); });
}

bool SaisieCode::eventFilter(QObject* objet, QEvent* evenement) {
  if (objet == champ_ &&
      (evenement->type() == QEvent::FocusIn || evenement->type() == QEvent::FocusOut)) {
    update();
  }
  return QWidget::eventFilter(objet, evenement);
}

}  // namespace ravlo
