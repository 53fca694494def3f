// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/accueil_link.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "link/app/qt/barre_miniature.hpp"
#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/cadre_accueil.hpp"
#include "link/app/qt/etape_link.hpp"
#include "link/app/qt/interrupteur.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

AccueilLink::AccueilLink(std::shared_ptr<ModeleLink> modele,
                         std::shared_ptr<MagasinReglages> reglages, ReglagesBureau bureau,
                         std::shared_ptr<DemarrageAuto> demarrage, QObject* parent)
    : QObject(parent),
      modele_(std::move(modele)),
      reglages_(std::move(reglages)),
      bureau_(std::move(bureau)),
      demarrage_(std::move(demarrage)),
      cadre_(std::make_unique<CadreAccueil>()) {
  connect(cadre_.get(), &CadreAccueil::fermee, this, [this] {
    reglages_->ecrireBooleen(ModeleLink::cleAccueilVu, true);
    modele_->chercheur().demarrer();
    emit fermee();
  });
  suiviModele_ = modele_->observer([this] { suivre(); });
  suiviChercheur_ = modele_->chercheur().observer([this] { suivre(); });
  suivre();
}

AccueilLink::~AccueilLink() = default;

bool AccueilLink::du(const MagasinReglages& reglages) {
  return !reglages.booleen(ModeleLink::cleAccueilVu);
}

void AccueilLink::montrer() {
  cadre_->montrer();
}

void AccueilLink::commencer() {
  commence_ = true;
  modele_->chercheur().demarrer();
  if (!modele_->sondeDuSon().has_value()) modele_->sonder();
  suivre();
}

void AccueilLink::reessayer() {
  modele_->reessayer();
  suivre();
}

void AccueilLink::suivre() {
  PageAccueil page = PageAccueil::depuis(commence_, *modele_, localeCourante());
  if (!premiere_ && page == page_) return;
  premiere_ = false;
  page_ = std::move(page);
  cadre_->changerPage(construirePage());
}

QWidget* AccueilLink::construirePage() {
  auto* page = new QWidget;
  auto* pile = new QVBoxLayout(page);
  pile->setContentsMargins(0, 0, 0, 0);
  pile->setSpacing(14);
  const auto bouton = [&](const QString& libelle, BoutonLink::Sorte sorte, auto action) {
    auto* b = new BoutonLink(libelle, sorte, page);
    connect(b, &BoutonLink::clicked, this, action);
    pile->addWidget(b);
    return b;
  };
  BoutonLink* defaut = nullptr;
  const auto barre = [&](const QString& legende) {
    pile->addWidget(new BarreMiniature(page), 0, Qt::AlignHCenter);
    pile->addWidget(CadreAccueil::legende(legende, page));
  };
  switch (page_.cas) {
    case PageAccueil::Cas::bienvenue:
      pile->addWidget(CadreAccueil::titre(
          texteQt(texte("Le son de ton ordinateur,\nsur ton récepteur", localeCourante())), page));
      pile->addWidget(CadreAccueil::corps(
          texteQt(
              texte("Ravlo Link envoie tout ce que joue cet ordinateur vers un récepteur : l'app "
                    "Ravlo ou "
                    "ravlo-recepteur, par le réseau local. Rien ne sort de ton réseau.",
                    localeCourante())),
          page));
      barre(texteQt(texte("↑ Ravlo Link vit ici, dans la zone de notification", localeCourante())));
      pile->addWidget(new EtapeLink(
          1,
          texteQt(texte(
              "Ouvre l'app Ravlo sur ton récepteur (ou lance ravlo-recepteur) : il affiche un code",
              localeCourante())),
          page));
      pile->addWidget(
          new EtapeLink(2,
                        texteQt(texte("Clique sur l'icône R!, choisis ton récepteur, tape le code",
                                      localeCourante())),
                        page));
      pile->addStretch(1);
      defaut = bouton(texteQt(texte("Vérifier et commencer", localeCourante())),
                      BoutonLink::Sorte::degrade, [this] { commencer(); });
      break;
    case PageAccueil::Cas::verifications: {
      pile->addWidget(
          CadreAccueil::titre(texteQt(texte("Deux vérifications", localeCourante())), page));
      pile->addWidget(CadreAccueil::corps(
          texteQt(texte("Ravlo Link vérifie maintenant, une seule fois, ce dont il a besoin.",
                        localeCourante())),
          page));
      pile->addWidget(
          new EtapeLink(1,
                        texteQt(texte("Réseau local — avahi-daemon, pour trouver ton récepteur",
                                      localeCourante())),
                        page));
      pile->addWidget(new EtapeLink(
          2,
          texteQt(
              texte("Serveur de son — PulseAudio ou PipeWire, pour capter ce que joue l'ordinateur",
                    localeCourante())),
          page));
      pile->addStretch(1);
      auto* attente = new QProgressBar(page);
      attente->setRange(0, 0);
      attente->setTextVisible(false);
      attente->setFixedHeight(4);
      const QString enAttente = texteQt(texte("Vérification en cours…", localeCourante()));
      attente->setAccessibleName(enAttente);
      pile->addWidget(attente);
      pile->addWidget(CadreAccueil::legende(enAttente, page));
      break;
    }
    case PageAccueil::Cas::refus: {
      pile->addWidget(CadreAccueil::titre(QString::fromStdString(page_.titre), page));
      pile->addWidget(CadreAccueil::corps(QString::fromStdString(page_.texte), page));
      pile->addStretch(1);
      const SujetReglages sujet = page_.refusDuSon ? SujetReglages::son : SujetReglages::reseau;
      if (bureau_.existe && bureau_.existe(sujet)) {
        bouton(texteQt(texte("Ouvrir les réglages", localeCourante())), BoutonLink::Sorte::plein,
               [this, sujet] { bureau_.ouvrir(sujet); });
      }
      defaut = bouton(texteQt(texte("Réessayer", localeCourante())), BoutonLink::Sorte::degrade,
                      [this] { reessayer(); });
      bouton(texteQt(texte("Plus tard", localeCourante())), BoutonLink::Sorte::plein,
             [this] { cadre_->close(); });
      break;
    }
    case PageAccueil::Cas::pret:
      pile->addWidget(CadreAccueil::titre(texteQt(texte("C'est prêt", localeCourante())), page));
      pile->addWidget(CadreAccueil::corps(
          texteQt(texte(
              "Cette fenêtre ne reviendra plus. Ravlo Link t'attend dans la zone de notification.",
              localeCourante())),
          page));
      barre(texteQt(texte("↑ clique ici quand tu veux envoyer le son", localeCourante())));
      pile->addStretch(1);
      if (demarrage_) {
        auto* bascule = new Interrupteur(
            texteQt(texte("Lancer Ravlo Link à l'ouverture de session", localeCourante())), page);
        bascule->setToolTip({});
        bascule->changerActif(demarrage_->actif());
        connect(bascule, &Interrupteur::basculer, this, [this, bascule] {
          // Un échec du système de fichiers laisse l'interrupteur tel que le disque le dit.
          [[maybe_unused]] const std::error_code erreur = demarrage_->changer(!demarrage_->actif());
          bascule->changerActif(demarrage_->actif());
        });
        pile->addWidget(bascule);
      }
      defaut = bouton(texteQt(texte("Fermer", localeCourante())), BoutonLink::Sorte::degrade,
                      [this] { cadre_->close(); });
      break;
  }
  // Entrée presse le bouton principal de la page ; la page d'attente n'en a pas.
  cadre_->changerBoutonParDefaut(defaut);
  return page;
}

}  // namespace ravlo
