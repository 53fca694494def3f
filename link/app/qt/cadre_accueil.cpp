// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/cadre_accueil.hpp"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QScreen>
#include <QVBoxLayout>

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/logo_link.hpp"
#include "link/app/qt/polices.hpp"

namespace ravlo {

namespace {

constexpr int tailleLogo = 70;
constexpr int diametreLueur = 300;

QLabel* etiquette(const QString& texte, const QFont& face, const QColor& couleur, QWidget* parent) {
  auto* l = new QLabel(texte, parent);
  l->setFont(face);
  l->setWordWrap(true);
  l->setAlignment(Qt::AlignHCenter);
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, couleur);
  l->setPalette(pal);
  return l;
}

}  // namespace

CadreAccueil::CadreAccueil(QWidget* parent)
    : QWidget(parent, Qt::Window), colonne_(new QVBoxLayout(this)) {
  setWindowTitle(QStringLiteral("Ravlo Link"));
  setFixedSize(460, 520);
  colonne_->setContentsMargins(30, 44, 30, 24);
  colonne_->setSpacing(18);
  colonne_->addWidget(new LogoLink(tailleLogo, this), 0, Qt::AlignHCenter);
}

void CadreAccueil::changerPage(QWidget* page) {
  if (page == page_) return;
  delete page_;
  page_ = page;
  if (page_ != nullptr) {
    page_->setParent(this);
    colonne_->addWidget(page_, 1);
    page_->show();
  }
  if (boutonParDefaut_) boutonParDefaut_->setFocus();
}

void CadreAccueil::montrer() {
  if (const QScreen* ecran = QGuiApplication::primaryScreen()) {
    QRect cadre = frameGeometry();
    cadre.moveCenter(ecran->availableGeometry().center());
    move(cadre.topLeft());
  }
  show();
  raise();
  activateWindow();
}

QLabel* CadreAccueil::titre(const QString& texte, QWidget* parent) {
  return etiquette(texte, police(Face::archivoBold, 1.75), couleurs::texteClair(), parent);
}

QLabel* CadreAccueil::corps(const QString& texte, QWidget* parent) {
  return etiquette(texte, police(Face::instrumentRegular, 1.05), couleurs::texteDoux(), parent);
}

QLabel* CadreAccueil::legende(const QString& texte, QWidget* parent) {
  return etiquette(texte, police(Face::plexMonoSemiBold, 0.8), couleurs::sarcelle(), parent);
}

void CadreAccueil::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fond(0, 0, 0, height());
  fond.setColorAt(0, couleurs::fondHaut());
  fond.setColorAt(1, couleurs::fondBas());
  p.fillRect(rect(), fond);
  // La lueur, centrée sur le badge.
  const QPointF centre(width() / 2.0, colonne_->contentsMargins().top() + tailleLogo / 2.0);
  QColor violet = QColor::fromRgbF(0.49F, 0.38F, 0.87F);
  QRadialGradient lueur(centre, diametreLueur / 2.0);
  violet.setAlphaF(0.28F);
  lueur.setColorAt(0, violet);
  violet.setAlphaF(0);
  lueur.setColorAt(1, violet);
  p.fillRect(QRectF(centre.x() - diametreLueur / 2.0, centre.y() - diametreLueur / 2.0,
                    diametreLueur, diametreLueur),
             lueur);
}

void CadreAccueil::keyPressEvent(QKeyEvent* evenement) {
  switch (evenement->key()) {
    case Qt::Key_Escape:
      close();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (boutonParDefaut_ && boutonParDefaut_->isEnabled()) {
        boutonParDefaut_->click();
        return;
      }
      break;
    default:
      break;
  }
  QWidget::keyPressEvent(evenement);
}

void CadreAccueil::closeEvent(QCloseEvent* evenement) {
  QWidget::closeEvent(evenement);
  if (evenement->isAccepted()) emit fermee();
}

}  // namespace ravlo
