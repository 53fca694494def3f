#include "link/app/qt/icone_notification.hpp"

#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

IconeNotification::IconeNotification(QObject* parent) : QObject(parent) {
  icone_.setIcon(iconeBadge(etat_));
  icone_.setToolTip(QStringLiteral("Ravlo Link"));
  menu_.setAccessibleName(QStringLiteral("Ravlo Link"));
  connect(menu_.addAction(texteQt(texte("Ouvrir Ravlo Link", localeCourante()))),
          &QAction::triggered, this, &IconeNotification::ouvrir);
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
  icone_.setIcon(iconeBadge(etat_));
}

}  // namespace ravlo
