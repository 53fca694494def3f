// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/vue_panneau.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "link/app/qt/alerte.hpp"
#include "link/app/qt/anneau_link.hpp"
#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/carte_appareil.hpp"
#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/etiquette.hpp"
#include "link/app/qt/etiquette_ajustee.hpp"
#include "link/app/qt/formulaire_adresse.hpp"
#include "link/app/qt/interrupteur.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/saisie_code.hpp"
#include "link/app/qt/textes_qt.hpp"
#include "link/app/qt/tuile_link.hpp"
#include "link/app/qt/vue_pieces.hpp"
#include "link/app/qt/vue_telephone.hpp"

namespace ravlo {

namespace {

QWidget* colonne(QWidget* parent, QVBoxLayout*& disposition, int ecart) {
  auto* w = new QWidget(parent);
  disposition = new QVBoxLayout(w);
  disposition->setContentsMargins(0, 0, 0, 0);
  disposition->setSpacing(ecart);
  return w;
}

}  // namespace

VuePanneau::VuePanneau(std::shared_ptr<SaisiePanneau> saisie, ActionsPanneau actions,
                       QWidget* parent)
    : QWidget(parent), saisie_(std::move(saisie)), actions_(std::move(actions)) {
  auto* pile = new QVBoxLayout(this);
  pile->setContentsMargins(0, 0, 0, 0);
  pile->setSpacing(12);
  alerte_ = new Alerte(this);
  alerte_->hide();
  connect(alerte_, &Alerte::ouvrirReglages, this, [this] { actions_.ouvrirReglages(); });
  pile->addWidget(alerte_);

  ecranAppairage_ = construireAppairage();
  ecranPret_ = construireParti(silencePret_, false);
  ecranEnvoi_ = construireParti(silenceEnvoi_, true);
  for (QWidget* ecran : {ecranAppairage_, ecranPret_, ecranEnvoi_}) pile->addWidget(ecran);
  telephone_ = new VueTelephone(this);
  connect(telephone_, &VueTelephone::basculer, this, [this] { actions_.basculerTelephone(); });
  pile->addWidget(telephone_);

  auto* trait = new QFrame(this);
  trait->setFixedHeight(1);
  trait->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 26);"));
  pile->addWidget(trait);
  auto* pied = new QHBoxLayout;
  auto* changer = boutonTexte(texteQt(texte("Changer de récepteur", localeCourante())), this);
  auto* quitter = boutonTexte(texteQt(texte("Quitter Ravlo Link", localeCourante())), this);
  connect(changer, &QPushButton::clicked, this, [this] { actions_.changerDeRecepteur(); });
  connect(quitter, &QPushButton::clicked, this, [this] { actions_.quitter(); });
  pied->addWidget(changer);
  pied->addStretch(1);
  pied->addWidget(quitter);
  pile->addLayout(pied);
  afficher(etat_, false);
}

QWidget* VuePanneau::construireAppairage() {
  QVBoxLayout* pile = nullptr;
  QWidget* ecran = colonne(this, pile, 12);

  QVBoxLayout* liste = nullptr;
  QWidget* contenuListe = colonne(ecran, liste, 6);
  listeCartes_ = new QVBoxLayout;
  listeCartes_->setSpacing(6);
  liste->addLayout(listeCartes_);
  auto* indice = libelle(police(Face::instrumentRegular, 0.9), couleurs::texteDoux(), contenuListe);
  indice->setText(texteQt(
      texte("Ouvre l'app Ravlo ou lance ravlo-recepteur : le récepteur se rend visible tout seul.",
            localeCourante())));
  indice_ = indice;
  attente_ = new QProgressBar(contenuListe);
  attente_->setRange(0, 0);  // sans fin : la recherche tourne
  attente_->setTextVisible(false);
  attente_->setFixedHeight(4);
  attente_->setAccessibleName(indice->text());
  liste->addWidget(indice_);
  liste->addWidget(attente_);
  adresse_ = new FormulaireAdresse(contenuListe);
  connect(adresse_, &FormulaireAdresse::ouvrir, this, [this] { actions_.ouvrirAdresse(); });
  connect(adresse_, &FormulaireAdresse::fermer, this, [this] { actions_.fermerAdresse(); });
  connect(adresse_, &FormulaireAdresse::ajouter, this,
          [this](const QString& hote, const QString& port) {
            actions_.ajouterAdresse(hote.toStdString(), port.toStdString());
          });
  liste->addWidget(adresse_);
  pile->addWidget(new TuileLink(texteQt(texte("RÉCEPTEURS SUR TON RÉSEAU", localeCourante())),
                                contenuListe, ecran));

  code_ = new SaisieCode;
  code_->changerFiltre([](const QString& saisie) {
    return QString::fromStdString(filtrerCode(saisie.toStdString()));
  });
  connect(code_, &SaisieCode::codeChange, this,
          [this](const QString& code) { actions_.taperCode(code.toStdString()); });
  connect(code_, &SaisieCode::valider, this, &VuePanneau::validerAppairage);
  pile->addWidget(new TuileLink(texteQt(texte("CODE AFFICHÉ SUR LE RÉCEPTEUR", localeCourante())),
                                code_, ecran));
  // Pour un récepteur sans écran : il dit son code dans la pièce.
  faireEntendre_ = boutonTexte(texteQt(texte("Faire entendre le code", localeCourante())), ecran);
  connect(faireEntendre_, &QPushButton::clicked, this, [this] { actions_.faireEntendre(); });
  pile->addWidget(faireEntendre_);

  appairer_ = new BoutonLink(texteQt(texte("Appairer", localeCourante())),
                             BoutonLink::Sorte::degrade, ecran);
  connect(appairer_, &BoutonLink::clicked, this, &VuePanneau::validerAppairage);
  pile->addWidget(appairer_);
  oublier_ =
      new BoutonLink(texteQt(texte("Oublier", localeCourante())), BoutonLink::Sorte::plein, ecran);
  connect(oublier_, &BoutonLink::clicked, this, [this] { actions_.oublier(); });
  pile->addWidget(oublier_);
  return ecran;
}

QWidget* VuePanneau::construireParti(Interrupteur*& bascule, bool envoi) {
  QVBoxLayout* pile = nullptr;
  QWidget* ecran = colonne(this, pile, 12);
  if (envoi) {
    pieces_ = new VuePieces(saisie_, actions_);
    pile->addWidget(
        new TuileLink(texteQt(texte("LE SON PART VERS", localeCourante())), pieces_, ecran));
  } else {
    nomPret_ = new EtiquetteAjustee(2);
    nomPret_->setFont(police(Face::archivoSemiBold, 1.15));
    QPalette pal = nomPret_->palette();
    pal.setColor(QPalette::WindowText, couleurs::texteClair());
    nomPret_->setPalette(pal);
    pile->addWidget(
        new TuileLink(texteQt(texte("APPAIRÉ AVEC", localeCourante())), nomPret_, ecran));
  }
  bascule =
      new Interrupteur(texteQt(texte("N'entendre que le récepteur", localeCourante())), ecran);
  connect(bascule, &Interrupteur::basculer, this, [this] { actions_.basculerSilence(); });
  if (envoi) {
    anneau_ = new AnneauLink(ecran);
    anneau_->setFixedSize(120, 120);
    pile->addWidget(anneau_, 0, Qt::AlignHCenter);
    duree_ = libelle(police(Face::plexMonoMedium, 1.5), couleurs::texteClair(), nullptr);
    pile->addWidget(new TuileLink(texteQt(texte("DURÉE", localeCourante())), duree_, ecran));
    pile->addWidget(bascule);
    auto* arreter = new BoutonLink(texteQt(texte("Arrêter l'envoi", localeCourante())),
                                   BoutonLink::Sorte::plein, ecran);
    connect(arreter, &BoutonLink::clicked, this, [this] { actions_.arreter(); });
    pile->addWidget(arreter);
  } else {
    auto* envoyer = new BoutonLink(texteQt(texte("Envoyer le son", localeCourante())),
                                   BoutonLink::Sorte::degrade, ecran);
    connect(envoyer, &BoutonLink::clicked, this, [this] { actions_.envoyer(); });
    pile->addWidget(envoyer);
    pile->addWidget(bascule);
  }
  return ecran;
}

void VuePanneau::afficher(const EtatPanneau& etat, bool reglagesOfferts) {
  const bool listeChangee = premierAffichage_ || etat.appareils != etat_.appareils;
  premierAffichage_ = false;
  etat_ = etat;
  if (etat.message) {
    alerte_->montrerMessage(QString::fromStdString(etat.message->titre),
                            QString::fromStdString(etat.message->texte), reglagesOfferts);
  }
  alerte_->setVisible(etat.message.has_value());
  ecranAppairage_->setVisible(etat.ecran == EtatPanneau::Ecran::appairage);
  ecranPret_->setVisible(etat.ecran == EtatPanneau::Ecran::pret);
  ecranEnvoi_->setVisible(etat.ecran == EtatPanneau::Ecran::envoi);

  if (listeChangee) refaireCartes();
  indice_->setVisible(etat.appareils.empty());
  attente_->setVisible(etat.appareils.empty() && etat.rechercheEnCours);

  nomPret_->changerTexte(QString::fromStdString(etat.nomRecepteur));
  pieces_->afficher(etat);
  silencePret_->changerActif(etat.nEntendreQueLeRecepteur);
  silenceEnvoi_->changerActif(etat.nEntendreQueLeRecepteur);
  silenceEnvoi_->changerLibelle(
      QString::fromStdString(libelleSilence(etat.pieces.size(), localeCourante())));
  duree_->setText(QString::fromStdString(formaterDuree(etat.duree)));
  telephone_->afficher(etat.telephone);
  relireSaisie();
}

void VuePanneau::refaireCartes() {
  for (CarteAppareil* carte : cartes_) delete carte;
  cartes_.clear();
  for (const EtatPanneau::Appareil& a : etat_.appareils) {
    auto* carte = new CarteAppareil(QString::fromStdString(libelleCarte(a, localeCourante())),
                                    listeCartes_->parentWidget());
    carte->changerTelephone(a.telephone);
    connect(carte, &CarteAppareil::choisir, this, [this, id = a.id] { saisie_->choisir(id); });
    listeCartes_->addWidget(carte);
    cartes_.push_back(carte);
  }
}

void VuePanneau::relireSaisie() {
  const auto& selection = saisie_->selection();
  for (std::size_t i = 0; i < cartes_.size() && i < etat_.appareils.size(); ++i) {
    cartes_[i]->changerChoisi(selection == etat_.appareils[i].id);
  }
  code_->changerCode(QString::fromStdString(saisie_->code()));
  adresse_->afficher(saisie_->adresseOuverte(), etat_.resolutionEnCours,
                     QString::fromStdString(etat_.erreurAdresse));
  pieces_->relireSaisie();
  appairer_->setText(etat_.appairageEnCours ? texteQt(texte("Appairage…", localeCourante()))
                                            : texteQt(texte("Appairer", localeCourante())));
  const bool memorise = selectionMemorisee(selection, etat_.appareils);
  appairer_->setEnabled(
      appairagePossible(selection, saisie_->code(), etat_.appairageEnCours, memorise));
  oublier_->setVisible(memorise && !etat_.appairageEnCours);
  // Une page montre son code : elle n'a rien à faire entendre.
  const bool telephone = std::ranges::any_of(etat_.appareils, [&](const EtatPanneau::Appareil& a) {
    return a.telephone && selection == a.id;
  });
  faireEntendre_->setEnabled(selection.has_value() && !etat_.appairageEnCours && !memorise &&
                             !telephone);
  // L'anneau ne repart en animation que pour un relevé neuf, pas pour un chiffre tapé.
  if (saisie_->niveaux() != niveauxAffiches_) {
    niveauxAffiches_ = saisie_->niveaux();
    anneau_->changerNiveaux({niveauxAffiches_.valeurs.begin(), niveauxAffiches_.valeurs.end()});
  }
}

void VuePanneau::validerAppairage() {
  if (appairagePossible(saisie_->selection(), saisie_->code(), etat_.appairageEnCours,
                        selectionMemorisee(saisie_->selection(), etat_.appareils))) {
    actions_.appairer();
  }
}

}  // namespace ravlo
