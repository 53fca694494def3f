// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/formulaire_adresse.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/etiquette.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

namespace {

QLineEdit* champ(const QString& indication, QWidget* parent) {
  auto* c = new QLineEdit(parent);
  c->setPlaceholderText(indication);
  c->setAccessibleName(indication);
  c->setFont(police(Face::instrumentRegular, 0.95));
  c->setStyleSheet(
      QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid "
                     "rgba(255, 255, 255, 40); border-radius: 8px; padding: 6px 8px; }")
          .arg(couleurs::carte().name(QColor::HexArgb), couleurs::texteClair().name()));
  return c;
}

}  // namespace

FormulaireAdresse::FormulaireAdresse(QWidget* parent)
    : QWidget(parent),
      ouvrir_(boutonTexte(texteQt(texte("Ajouter par adresse", localeCourante())), this)),
      formulaire_(new QWidget(this)),
      hote_(champ(texteQt(texte("Nom ou adresse IP", localeCourante())), formulaire_)),
      port_(champ(texteQt(texte("Port", localeCourante())), formulaire_)),
      ajouter_(new BoutonLink(texteQt(texte("Ajouter", localeCourante())),
                              BoutonLink::Sorte::degrade, formulaire_)),
      erreur_(libelle(police(Face::instrumentRegular, 0.85), couleurs::orange(), formulaire_)) {
  auto* pile = new QVBoxLayout(this);
  pile->setContentsMargins(0, 0, 0, 0);
  pile->setSpacing(6);
  ouvrir_->setToolTip(
      texteQt(texte("Pour un récepteur que la recherche ne voit pas : tape le "
                    "nom ou l'adresse IP et le port qu'il affiche.",
                    localeCourante())));
  connect(ouvrir_, &QPushButton::clicked, this, &FormulaireAdresse::ouvrir);
  pile->addWidget(ouvrir_, 0, Qt::AlignLeft);

  auto* colonne = new QVBoxLayout(formulaire_);
  colonne->setContentsMargins(0, 0, 0, 0);
  colonne->setSpacing(6);
  auto* champs = new QHBoxLayout;
  champs->setSpacing(6);
  port_->setMaxLength(5);
  port_->setInputMethodHints(Qt::ImhDigitsOnly);
  port_->setFixedWidth(72);
  champs->addWidget(hote_, 1);
  champs->addWidget(port_);
  colonne->addLayout(champs);
  erreur_->hide();
  colonne->addWidget(erreur_);
  auto* boutons = new QHBoxLayout;
  auto* annuler = boutonTexte(texteQt(texte("Annuler", localeCourante())), formulaire_);
  boutons->addWidget(ajouter_, 1);
  boutons->addWidget(annuler);
  colonne->addLayout(boutons);
  pile->addWidget(formulaire_);
  connect(ajouter_, &BoutonLink::clicked, this, &FormulaireAdresse::valider);
  connect(hote_, &QLineEdit::returnPressed, this, &FormulaireAdresse::valider);
  connect(port_, &QLineEdit::returnPressed, this, &FormulaireAdresse::valider);
  connect(annuler, &QPushButton::clicked, this, &FormulaireAdresse::fermer);
  afficher(false, false, {});
}

void FormulaireAdresse::afficher(bool ouvert, bool enCours, const QString& erreur) {
  enCours_ = enCours;
  ouvrir_->setVisible(!ouvert);
  formulaire_->setVisible(ouvert);
  if (!ouvert) {
    hote_->clear();
    port_->clear();
  }
  erreur_->setText(erreur);
  erreur_->setAccessibleName(erreur);
  erreur_->setVisible(!erreur.isEmpty());
  ajouter_->setEnabled(!enCours);
  ajouter_->setText(enCours ? texteQt(texte("Recherche de l'adresse…", localeCourante()))
                            : texteQt(texte("Ajouter", localeCourante())));
}

QString FormulaireAdresse::erreur() const {
  return erreur_->isVisibleTo(this) ? erreur_->text() : QString();
}

void FormulaireAdresse::valider() {
  if (!enCours_) emit ajouter(hote_->text(), port_->text());
}

}  // namespace ravlo
