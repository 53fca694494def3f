// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/a_propos.hpp"

#include <QApplication>
#include <QMessageBox>

#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

QString versionLink() {
  return QStringLiteral(RAVLO_VERSION);
}

QString texteAPropos() {
  return QStringLiteral("Ravlo Link\n%1 %2\n\n%3")
      .arg(texteQt(texte("Version", localeCourante())), versionLink(),
           texteQt(texte("Envoie le son de cet ordinateur vers un récepteur du même réseau local.",
                         localeCourante())));
}

void montrerAPropos() {
  auto* boite = new QMessageBox(QMessageBox::Information,
                                texteQt(texte("À propos de Ravlo Link", localeCourante())),
                                texteAPropos(), QMessageBox::Close);
  boite->setAttribute(Qt::WA_DeleteOnClose);
  boite->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
  boite->show();
  boite->raise();
  boite->activateWindow();
}

}  // namespace ravlo
