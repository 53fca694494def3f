// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/vue_pieces.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/carte_appareil.hpp"
#include "link/app/qt/carte_piece.hpp"
#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/etiquette.hpp"
#include "link/app/qt/formulaire_adresse.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/saisie_code.hpp"
#include "link/app/qt/textes_qt.hpp"
#include "link/app/regles_panneau.hpp"

namespace ravlo {

VuePieces::VuePieces(std::shared_ptr<SaisiePanneau> saisie, ActionsPanneau actions, QWidget* parent)
    : QWidget(parent), saisie_(std::move(saisie)), actions_(std::move(actions)) {
  auto* pile = new QVBoxLayout(this);
  pile->setContentsMargins(0, 0, 0, 0);
  pile->setSpacing(6);
  listePieces_ = new QVBoxLayout;
  listePieces_->setSpacing(6);
  pile->addLayout(listePieces_);
  ouvrir_ = boutonTexte(texteQt(texte("Ajouter une pièce", localeCourante())), this);
  connect(ouvrir_, &QPushButton::clicked, this, [this] { actions_.ouvrirAjout(); });
  pile->addWidget(ouvrir_, 0, Qt::AlignLeft);

  ajout_ = new QWidget(this);
  auto* section = new QVBoxLayout(ajout_);
  section->setContentsMargins(0, 6, 0, 0);
  section->setSpacing(8);
  section->addWidget(
      new Etiquette(texteQt(texte("RÉCEPTEURS SUR TON RÉSEAU", localeCourante())), ajout_));
  listeChoix_ = new QVBoxLayout;
  listeChoix_->setSpacing(6);
  section->addLayout(listeChoix_);
  aucun_ = new QLabel(texteQt(texte("Aucun autre récepteur trouvé. Ouvre l'app Ravlo ou lance "
                                    "ravlo-recepteur dans la pièce à ajouter.",
                                    localeCourante())),
                      ajout_);
  aucun_->setWordWrap(true);
  aucun_->setFont(police(Face::instrumentRegular, 0.9));
  QPalette pal = aucun_->palette();
  pal.setColor(QPalette::WindowText, couleurs::texteDoux());
  aucun_->setPalette(pal);
  section->addWidget(aucun_);
  adresse_ = new FormulaireAdresse(ajout_);
  connect(adresse_, &FormulaireAdresse::ouvrir, this, [this] { actions_.ouvrirAdresse(); });
  connect(adresse_, &FormulaireAdresse::fermer, this, [this] { actions_.fermerAdresse(); });
  connect(adresse_, &FormulaireAdresse::ajouter, this,
          [this](const QString& hote, const QString& port) {
            actions_.ajouterAdresse(hote.toStdString(), port.toStdString());
          });
  section->addWidget(adresse_);
  section->addWidget(
      new Etiquette(texteQt(texte("CODE AFFICHÉ SUR LE RÉCEPTEUR", localeCourante())), ajout_));
  code_ = new SaisieCode(ajout_);
  code_->changerFiltre(
      [](const QString& s) { return QString::fromStdString(filtrerCode(s.toStdString())); });
  connect(code_, &SaisieCode::codeChange, this,
          [this](const QString& code) { actions_.taperCode(code.toStdString()); });
  connect(code_, &SaisieCode::valider, this, &VuePieces::valider);
  section->addWidget(code_);
  auto* boutons = new QHBoxLayout;
  ajouter_ = new BoutonLink(texteQt(texte("Ajouter la pièce", localeCourante())),
                            BoutonLink::Sorte::degrade, ajout_);
  connect(ajouter_, &BoutonLink::clicked, this, &VuePieces::valider);
  auto* annuler = boutonTexte(texteQt(texte("Annuler", localeCourante())), ajout_);
  connect(annuler, &QPushButton::clicked, this, [this] { actions_.fermerAjout(); });
  boutons->addWidget(ajouter_, 1);
  boutons->addWidget(annuler);
  section->addLayout(boutons);
  pile->addWidget(ajout_);
  afficher(etat_);
}

void VuePieces::afficher(const EtatPanneau& etat) {
  const bool piecesChangees = premierAffichage_ || etat.pieces != etat_.pieces;
  const bool choixChange = premierAffichage_ || etat.appareils != etat_.appareils;
  premierAffichage_ = false;
  etat_ = etat;
  if (piecesChangees) refairePieces();
  if (choixChange) refaireChoix();
  aucun_->setVisible(etat.appareils.empty());
  relireSaisie();
}

void VuePieces::refairePieces() {
  // « Retirer » refait la liste pendant son propre clic : la carte part après lui.
  for (CartePiece* carte : pieces_) {
    listePieces_->removeWidget(carte);
    carte->hide();
    carte->deleteLater();
  }
  pieces_.clear();
  for (const EtatPanneau::Piece& p : etat_.pieces) {
    auto* carte = new CartePiece(QString::fromStdString(p.nom), this);
    carte->changerEnnui(QString::fromStdString(p.ennuiTexte));
    connect(carte, &CartePiece::retirer, this,
            [this, numero = p.numero] { actions_.retirerPiece(numero); });
    listePieces_->addWidget(carte);
    pieces_.push_back(carte);
  }
}

void VuePieces::refaireChoix() {
  for (CarteAppareil* carte : choix_) delete carte;
  choix_.clear();
  for (const EtatPanneau::Appareil& a : etat_.appareils) {
    auto* carte =
        new CarteAppareil(QString::fromStdString(libelleCarte(a, localeCourante())), ajout_);
    carte->changerTelephone(a.telephone);
    connect(carte, &CarteAppareil::choisir, this, [this, id = a.id] { saisie_->choisir(id); });
    listeChoix_->addWidget(carte);
    choix_.push_back(carte);
  }
}

void VuePieces::relireSaisie() {
  const bool ouvert = saisie_->ajoutOuvert();
  adresse_->afficher(saisie_->adresseOuverte(), etat_.resolutionEnCours,
                     QString::fromStdString(etat_.erreurAdresse));
  ajout_->setVisible(ouvert);
  ouvrir_->setVisible(!ouvert);
  const auto& selection = saisie_->selection();
  for (std::size_t i = 0; i < choix_.size() && i < etat_.appareils.size(); ++i) {
    choix_[i]->changerChoisi(selection == etat_.appareils[i].id);
  }
  code_->changerCode(QString::fromStdString(saisie_->code()));
  ajouter_->setText(etat_.appairageEnCours ? texteQt(texte("Appairage…", localeCourante()))
                                           : texteQt(texte("Ajouter la pièce", localeCourante())));
  ajouter_->setEnabled(appairagePossible(selection, saisie_->code(), etat_.appairageEnCours));
}

void VuePieces::valider() {
  if (appairagePossible(saisie_->selection(), saisie_->code(), etat_.appairageEnCours)) {
    actions_.ajouterPiece();
  }
}

}  // namespace ravlo
