// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/vue_telephone.hpp"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/etiquette.hpp"
#include "link/app/qt/image_qr.hpp"
#include "link/app/qt/interrupteur.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

VueTelephone::VueTelephone(QWidget* parent) : QWidget(parent) {
  auto* pile = new QVBoxLayout(this);
  pile->setContentsMargins(0, 0, 0, 0);
  pile->setSpacing(8);
  interrupteur_ =
      new Interrupteur(texteQt(texte("Écouter sur un téléphone", localeCourante())), this);
  connect(interrupteur_, &Interrupteur::basculer, this, &VueTelephone::basculer);
  pile->addWidget(interrupteur_);

  zone_ = new QWidget(this);
  auto* zone = new QVBoxLayout(zone_);
  zone->setContentsMargins(0, 0, 0, 0);
  zone->setSpacing(6);
  qr_ = new QLabel(zone_);
  qr_->setAlignment(Qt::AlignCenter);
  qr_->setAccessibleName(texteQt(texte("Code QR de la page d'écoute", localeCourante())));
  zone->addWidget(qr_);
  consigne_ = libelle(police(Face::instrumentRegular, 0.9), couleurs::texteDoux(), zone_);
  consigne_->setText(
      texteQt(texte("Vise ce code avec l'appareil photo du téléphone, touche "
                    "« Écouter », puis choisis le téléphone ci-dessus et tape le "
                    "code qu'il affiche.",
                    localeCourante())));
  zone->addWidget(consigne_);
  adresses_ = libelle(police(Face::plexMonoMedium, 0.9), couleurs::texteClair(), zone_);
  adresses_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  adresses_->setAccessibleName(texteQt(texte("Adresse de la page d'écoute", localeCourante())));
  zone->addWidget(adresses_);
  pile->addWidget(zone_);

  erreur_ = libelle(police(Face::instrumentRegular, 0.9), couleurs::orange(), this);
  pile->addWidget(erreur_);
  afficher({});
}

void VueTelephone::afficher(const EtatPanneau::Telephone& etat) {
  setVisible(etat.offert);
  interrupteur_->changerActif(etat.actif);
  zone_->setVisible(etat.actif);
  erreur_->setText(QString::fromStdString(etat.erreur));
  erreur_->setVisible(!etat.erreur.empty());
  QStringList lignes;
  for (const auto& a : etat.adresses) lignes << QString::fromStdString(a);
  adresses_->setText(lignes.join(u'\n'));
  if (etat.adresseQr == adresseQr_) return;
  adresseQr_ = etat.adresseQr;
  const auto code = adresseQr_.empty() ? std::nullopt : coderQr(adresseQr_);
  if (!code) {
    qr_->clear();
    qr_->hide();
    return;
  }
  qr_->setPixmap(QPixmap::fromImage(imageQr(*code, pixelsParModuleQr(code->cote))));
  qr_->show();
}

}  // namespace ravlo
