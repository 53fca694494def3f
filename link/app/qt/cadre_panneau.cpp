// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/cadre_panneau.hpp"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/logo_link.hpp"
#include "link/app/qt/polices.hpp"

namespace ravlo {

namespace {
constexpr int largeurPanneau = 320;
constexpr int marge = 8;
constexpr int ecartIcone = 6;
constexpr int rayonCadre = 14;
constexpr int largeurBarre = 6;  // la barre de défilement, et autant d'écart avant elle
}  // namespace

QPoint positionPanneau(const QRect& icone, const QSize& taille, const QRect& ecran) {
  const int xMax = std::max(ecran.left() + marge, ecran.right() + 1 - marge - taille.width());
  const int yMax = std::max(ecran.top() + marge, ecran.bottom() + 1 - marge - taille.height());
  if (!icone.isValid() || icone.isEmpty()) return {xMax, ecran.top() + marge};
  const int x =
      std::clamp(icone.x() + (icone.width() - taille.width()) / 2, ecran.left() + marge, xMax);
  const bool enHaut = 2 * icone.y() + icone.height() < 2 * ecran.y() + ecran.height();
  const int y =
      enHaut ? icone.bottom() + 1 + ecartIcone : icone.top() - ecartIcone - taille.height();
  return {x, std::clamp(y, ecran.top() + marge, yMax)};
}

QRect ancrePanneau(const QRect& icone, const QPoint& pointeur) {
  if (icone.isValid() && !icone.isEmpty()) return icone;
  return {pointeur, QSize(1, 1)};
}

CadrePanneau::CadrePanneau(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint),
      colonne_(new QVBoxLayout(this)),
      defilement_(new QScrollArea(this)) {
  setAttribute(Qt::WA_TranslucentBackground);
  setFixedWidth(largeurPanneau);
  setAccessibleName(QStringLiteral("Ravlo Link"));
  colonne_->setContentsMargins(rayonCadre, rayonCadre, rayonCadre, rayonCadre);
  colonne_->setSpacing(12);
  colonne_->setSizeConstraint(QLayout::SetFixedSize);
  auto* entete = new QHBoxLayout;
  entete->setSpacing(10);
  entete->addWidget(new LogoLink(26, this));
  auto* titre = new QLabel(QStringLiteral("Ravlo Link"), this);
  titre->setFont(police(Face::archivoBold, 1.25));
  QPalette pal = titre->palette();
  pal.setColor(QPalette::WindowText, couleurs::texteClair());
  titre->setPalette(pal);
  entete->addWidget(titre, 1);
  colonne_->addLayout(entete);
  note_ = new QLabel(this);
  note_->setFont(police(Face::instrumentRegular, 0.9));
  note_->setWordWrap(true);
  pal.setColor(QPalette::WindowText, couleurs::texteDoux());
  note_->setPalette(pal);
  note_->hide();
  colonne_->addWidget(note_);
  defilement_->setFrameShape(QFrame::NoFrame);
  // Le clavier va aux contrôles du contenu, que la zone fait défiler jusqu'à eux.
  defilement_->setFocusPolicy(Qt::NoFocus);
  defilement_->setWidgetResizable(true);
  defilement_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  defilement_->setStyleSheet(
      QStringLiteral(
          "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
          "QScrollBar:vertical { width: %1px; background: transparent; margin: 0; }"
          "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 60); border-radius: 3px;"
          " min-height: 24px; }"
          "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
          "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
          .arg(largeurBarre));
  defilement_->viewport()->setAutoFillBackground(false);
  colonne_->addWidget(defilement_);
}

void CadrePanneau::changerEnFenetre(bool fenetre, const QString& note) {
  if (isVisible()) close();
  enFenetre_ = fenetre;
  setWindowFlags(fenetre ? Qt::Window : Qt::Popup | Qt::FramelessWindowHint);
  // Sans compositeur, le fond translucide d'une fenêtre ordinaire serait noir.
  setAttribute(Qt::WA_TranslucentBackground, !fenetre);
  setWindowTitle(QStringLiteral("Ravlo Link"));
  note_->setText(note);
  note_->setAccessibleName(note);
  note_->setVisible(fenetre && !note.isEmpty());
}

QString CadrePanneau::note() const {
  return note_->isVisibleTo(this) ? note_->text() : QString();
}

void CadrePanneau::montrerFenetre() {
  if (const QScreen* ecran = QGuiApplication::primaryScreen()) {
    ajusterA(ecran->availableGeometry());
    QRect cadre = frameGeometry();
    cadre.moveCenter(ecran->availableGeometry().center());
    move(cadre.topLeft());
  } else {
    adjustSize();
  }
  showNormal();
  raise();
  activateWindow();
}

QWidget* CadrePanneau::prendreContenu() {
  QWidget* contenu = defilement_->takeWidget();
  if (contenu != nullptr) contenu->setParent(nullptr);
  contenu_ = nullptr;
  return contenu;
}

void CadrePanneau::changerContenu(QWidget* contenu) {
  if (contenu == contenu_) return;
  delete defilement_->takeWidget();
  contenu_ = contenu;
  if (contenu_ != nullptr) {
    contenu_->setFixedWidth(largeurPanneau - 2 * rayonCadre);
    defilement_->setWidget(contenu_);
    contenu_->installEventFilter(this);
  }
  ajusterA(QRect());
}

void CadrePanneau::ajusterA(const QRect& zoneUtile) {
  if (zoneUtile.isValid()) zoneUtile_ = zoneUtile;
  const int largeur = largeurPanneau - 2 * rayonCadre;
  const auto hauteurContenu = [this](int l) {
    if (contenu_ == nullptr) return 0;
    contenu_->setFixedWidth(l);
    // Des widgets neufs n'ont pas encore leur police ni leur feuille de style, et une mise
    // en page en attente garde ses anciennes hauteurs : l'une et l'autre d'abord.
    contenu_->ensurePolished();
    if (QLayout* mise = contenu_->layout()) mise->activate();
    return contenu_->hasHeightForWidth() ? contenu_->heightForWidth(l)
                                         : contenu_->sizeHint().height();
  };
  const int voulue = hauteurContenu(largeur);
  defilement_->setFixedSize(largeur, voulue);
  colonne_->activate();
  // Le cadre du gestionnaire de fenêtres, connu une fois la fenêtre montrée, prend sa part.
  const int bord = frameGeometry().height() - geometry().height();
  const int limite = zoneUtile.height() - 2 * marge - bord;
  const int trop = colonne_->sizeHint().height() - limite;
  if (zoneUtile.isValid() && trop > 0) {
    // La barre de défilement prend sa largeur au contenu, qui s'allonge d'autant.
    hauteurContenu(largeur - 2 * largeurBarre);
    defilement_->setFixedHeight(std::max(0, voulue - trop));
  }
  adjustSize();
  if (!zoneUtile.isValid()) return;
  const QRect cadre = frameGeometry();
  const int basMax = zoneUtile.bottom() + 1 - marge;
  if (cadre.bottom() + 1 > basMax)
    move(x(), std::max(zoneUtile.top() + marge, y() - (cadre.bottom() + 1 - basMax)));
}

void CadrePanneau::reajuster() {
  QScreen* ecran = screen();
  if (ecran == nullptr) ecran = QGuiApplication::primaryScreen();
  ajusterA(ecran != nullptr ? ecran->availableGeometry() : QRect());
}

void CadrePanneau::basculerPres(const QRect& icone) {
  if (isVisible()) {
    close();
    return;
  }
  // Un clic sur l'icône panneau ouvert ferme la fenêtre surgissante avant d'arriver à
  // l'icône : ce clic-là ne doit pas la rouvrir.
  if (depuisFermeture_.isValid() && depuisFermeture_.elapsed() < 300) return;
  montrerPres(icone);
}

void CadrePanneau::montrerPres(const QRect& icone) {
  QScreen* ecran = QGuiApplication::screenAt(icone.center());
  if (ecran == nullptr) ecran = QGuiApplication::primaryScreen();
  ajusterA(ecran != nullptr ? ecran->availableGeometry() : QRect());
  if (ecran != nullptr) move(positionPanneau(icone, size(), ecran->availableGeometry()));
  show();
  raise();
  activateWindow();
}

void CadrePanneau::paintEvent(QPaintEvent* /*evenement*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath forme;
  const double arrondi = enFenetre_ ? 0 : rayonCadre;  // le gestionnaire de fenêtres fait le cadre
  forme.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), arrondi, arrondi);
  QLinearGradient fond(0, 0, 0, height());
  fond.setColorAt(0, couleurs::fondHaut());
  fond.setColorAt(1, couleurs::fondBas());
  p.fillPath(forme, fond);
  p.strokePath(forme, QPen(QColor(255, 255, 255, 26), 1));
}

void CadrePanneau::hideEvent(QHideEvent* evenement) {
  depuisFermeture_.start();
  QWidget::hideEvent(evenement);
  emit ferme();
}

bool CadrePanneau::eventFilter(QObject* objet, QEvent* evenement) {
  // Le contenu refait sa mise en page plus tard que le modèle ne change (widgets neufs polis
  // à leur premier affichage) : sa hauteur se relit alors, une fois par rafale.
  if (objet == contenu_ && evenement->type() == QEvent::LayoutRequest && !reajustementPrevu_) {
    reajustementPrevu_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          reajustementPrevu_ = false;
          if (isVisible()) ajusterA(zoneUtile_);
        },
        Qt::QueuedConnection);
  }
  return QWidget::eventFilter(objet, evenement);
}

bool CadrePanneau::event(QEvent* evenement) {
  if (evenement->type() == QEvent::WindowDeactivate && isVisible() && !enFenetre_) close();
  return QWidget::event(evenement);
}

}  // namespace ravlo
