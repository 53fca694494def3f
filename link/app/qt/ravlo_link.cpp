// ravlo-link : l'application de la zone de notification. Pour l'instant l'icône et son
// menu ; le panneau et la fenêtre d'accueil s'y brancheront.
#include <QApplication>

#include "link/app/qt/icone_notification.hpp"
#include "link/app/qt/polices.hpp"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ravlo-link"));
  QApplication::setApplicationDisplayName(QStringLiteral("Ravlo Link"));
  QApplication::setDesktopFileName(QStringLiteral("ravlo-link"));
  // Une application de la zone de notification vit sans fenêtre ouverte.
  QApplication::setQuitOnLastWindowClosed(false);
  ravlo::chargerPolices();

  ravlo::IconeNotification icone;
  QObject::connect(&icone, &ravlo::IconeNotification::quitter, &application, &QApplication::quit);
  icone.montrer();
  return QApplication::exec();
}
