// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/icone_notification.hpp"

#include "link/app/qt/textes_qt.hpp"

namespace ravlo {
namespace {

// L'icône du thème (installée sous hicolor, ou celle qu'un thème remplace) a l'aspect de
// l'envoi : elle ne sert qu'à lui, et le bureau reçoit alors son nom plutôt que des pixels.
QIcon iconeEtat(EtatBadge etat) {
  if (etat == EtatBadge::envoi)
    return QIcon::fromTheme(QStringLiteral("ravlo-link"), iconeBadge(etat));
  return iconeBadge(etat);
}

}  // namespace

IconeNotification::IconeNotification(QObject* parent) : QObject(parent) {
  icone_.setIcon(iconeEtat(etat_));
  icone_.setToolTip(QStringLiteral("Ravlo Link"));
  menu_.setAccessibleName(QStringLiteral("Ravlo Link"));
  connect(menu_.addAction(texteQt(texte("Ouvrir Ravlo Link", localeCourante()))),
          &QAction::triggered, this, &IconeNotification::ouvrir);
  connect(menu_.addAction(texteQt(texte("À propos de Ravlo Link", localeCourante()))),
          &QAction::triggered, this, &IconeNotification::aPropos);
  quitter_ = menu_.addAction(texteQt(texte("Quitter Ravlo Link", localeCourante())));
  connect(quitter_, &QAction::triggered, this, &IconeNotification::quitter);
  icone_.setContextMenu(&menu_);
  connect(&icone_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason raison) {
            if (raison == QSystemTrayIcon::Trigger) emit ouvrir();
          });
}

QAction* IconeNotification::ajouterCase(const QString& libelle) {
  auto* action = new QAction(libelle, &menu_);
  action->setCheckable(true);
  menu_.insertAction(quitter_, action);
  return action;
}

void IconeNotification::changerEtat(EtatBadge etat) {
  if (etat == etat_) return;
  etat_ = etat;
  icone_.setIcon(iconeEtat(etat_));
}

void IconeNotification::changerStatut(const QString& statut) {
  const QString infobulle =
      statut.isEmpty() ? QStringLiteral("Ravlo Link") : QStringLiteral("Ravlo Link\n") + statut;
  if (infobulle != icone_.toolTip()) icone_.setToolTip(infobulle);
}

}  // namespace ravlo
