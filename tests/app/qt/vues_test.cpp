#include <gtest/gtest.h>

#include <QAccessible>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/banc_app.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/qt/accueil_link.hpp"
#include "link/app/qt/anneau_link.hpp"
#include "link/app/qt/barre_miniature.hpp"
#include "link/app/qt/cadre_accueil.hpp"
#include "link/app/qt/cadre_panneau.hpp"
#include "link/app/qt/carte_appareil.hpp"
#include "link/app/qt/carte_piece.hpp"
#include "link/app/qt/interrupteur.hpp"
#include "link/app/qt/logo_link.hpp"
#include "link/app/qt/panneau_link.hpp"
#include "link/app/qt/saisie_code.hpp"
#include "link/app/qt/vue_panneau.hpp"
#include "link/app/qt/vue_pieces.hpp"

namespace ravlo {
namespace {

// Ce qu'un lecteur d'écran annonce ; le clic demande, seul le propriétaire change l'état.
TEST(Vues, LInterrupteurEtLaCarteSeDisentEtSuiventLeProprietaire) {
  Interrupteur bascule(QStringLiteral("N'entendre que le récepteur"));
  CarteAppareil carte(QStringLiteral("Téléphone de Léa"));
  bascule.show();
  carte.show();
  QAccessibleInterface* a11yBascule = QAccessible::queryAccessibleInterface(&bascule);
  QAccessibleInterface* a11yCarte = QAccessible::queryAccessibleInterface(&carte);
  ASSERT_TRUE(a11yBascule && a11yCarte);
  EXPECT_EQ(a11yBascule->role(), QAccessible::CheckBox);
  EXPECT_EQ(a11yBascule->text(QAccessible::Value), QStringLiteral("désactivé"));
  EXPECT_EQ(a11yCarte->text(QAccessible::Name), QStringLiteral("Téléphone de Léa"));

  const QSignalSpy basculer(&bascule, &Interrupteur::basculer);
  const QSignalSpy choisir(&carte, &CarteAppareil::choisir);
  QTest::mouseClick(&bascule, Qt::LeftButton);
  QTest::mouseClick(&carte, Qt::LeftButton);
  EXPECT_EQ(basculer.count() + choisir.count(), 2);
  EXPECT_FALSE(bascule.actif());
  EXPECT_FALSE(a11yCarte->state().selected);

  bascule.changerActif(true);
  carte.changerChoisi(true);
  EXPECT_EQ(a11yBascule->text(QAccessible::Value), QStringLiteral("activé"));
  EXPECT_TRUE(a11yBascule->state().checked);
  EXPECT_TRUE(a11yCarte->state().selected);
}

// Les widgets montrés de `fenetre` qui prennent le focus ou sont des images, sans nom pour un
// lecteur d'écran.
QStringList sansNom(QWidget& fenetre) {
  QStringList manquants;
  for (QWidget* w : fenetre.findChildren<QWidget*>()) {
    if (!w->isVisibleTo(&fenetre)) continue;
    const bool image = qobject_cast<AnneauLink*>(w) || qobject_cast<BarreMiniature*>(w) ||
                       qobject_cast<LogoLink*>(w);
    if (!image && (w->focusPolicy() & Qt::TabFocus) == 0) continue;
    const QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(w);
    if (a11y == nullptr || a11y->text(QAccessible::Name).trimmed().isEmpty())
      manquants << QString::fromLatin1(w->metaObject()->className());
  }
  return manquants;
}

// Chaque écran du panneau et chaque page de l'accueil : tout contrôle a un nom.
TEST(Vues, ChaqueControleAUnNomAccessible) {
  banc::Application app(false);
  PanneauLink panneau(app.modele, std::make_shared<PlateformeAppEnregistreuse>(), *app.file,
                      ReglagesBureau{[](SujetReglages) { return true; }, [](SujetReglages) {}});
  AccueilLink accueil(app.modele, app.reglages, {});
  const auto verifier = [&](const char* etape) {
    SCOPED_TRACE(etape);
    EXPECT_EQ(sansNom(panneau.cadre()).join(u' ').toStdString(), "");
    EXPECT_EQ(sansNom(accueil.cadre()).join(u' ').toStdString(), "");
  };
  panneau.ouvrirPres({});
  accueil.montrer();
  verifier("bienvenue, appairage vide");
  accueil.commencer();
  app.navigateurs->dernier().publier({banc::service("Salon")});
  app.file->executer();
  verifier("vérifications, un récepteur");
  app.navigateurs->dernier().jouerEtat(
      {EtatNavigateur::Cas::attente, ErreurReseau{DomaineErreurReseau::posix, ENETDOWN}});
  app.file->executer();
  verifier("refus, message du réseau");
  app.navigateurs->dernier().jouerEtat({EtatNavigateur::Cas::pret, {}});
  app.file->avancer(ModeleLink::dureeSonde);
  app.appaire();
  verifier("prête, récepteur appairé");
  app.envoyer();
  verifier("envoi");
  app.navigateurs->dernier().publier(
      {banc::service("Salon"), banc::service("Cuisine"), banc::service("Bureau")});
  app.diffusion().ajouterPiece(banc::service("Cuisine").point,
                               Liaison::nouvelle(banc::cle(3), banc::cle(4)), "Cuisine");
  app.file->executer();
  VuePieces& pieces = *panneau.vue().pieces();
  QTest::mouseClick(pieces.boutonOuvrir(), Qt::LeftButton);
  ASSERT_TRUE(pieces.saisieCode()->isVisibleTo(&panneau.cadre())) << "l'ajout s'est ouvert";
  verifier("envoi vers deux pièces, « Ajouter une pièce » ouvert");
  ASSERT_EQ(pieces.cartesPieces().size(), 2u);
  EXPECT_EQ(pieces.cartesPieces()[1]->boutonRetirer()->accessibleName(),
            QStringLiteral("Retirer Cuisine"));
  QTest::mouseClick(pieces.cartesPieces()[1]->boutonRetirer(), Qt::LeftButton);
  EXPECT_EQ(pieces.cartesPieces().size(), 1u) << "Cuisine retirée";
  EXPECT_TRUE(app.diffusion().enDiffusion());
}

// Le focus du clavier se voit autrement que le choix ; un nom coupé se lit dans l'infobulle.
TEST(Vues, LaCarteMontreSonFocusEtSonNomEntier) {
  const QString court = QStringLiteral("Salon");
  const QString long_ =
      QStringLiteral("Récepteur du grand salon au rez-de-chaussée, près de la fenêtre");
  for (const QString& nom : {court, long_}) {
    CarteAppareil carte(nom);
    carte.resize(240, carte.sizeHint().height());
    carte.show();
    EXPECT_EQ(carte.toolTip(), nom == long_ ? nom : QString()) << nom.toStdString();
  }
  QWidget fenetre;
  auto* carte = new CarteAppareil(court, &fenetre);
  carte->resize(240, carte->sizeHint().height());
  fenetre.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&fenetre));
  carte->changerChoisi(true);
  const QImage choisie = carte->grab().toImage();
  fenetre.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&fenetre));
  carte->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(carte->hasFocus());
  EXPECT_FALSE(carte->montreFocus()) << "focus venu de la souris : pas d'anneau";
  fenetre.setAttribute(Qt::WA_KeyboardFocusChange);  // ce que Qt pose après Tab
  EXPECT_TRUE(carte->montreFocus());
  EXPECT_NE(carte->grab().toImage(), choisie) << "l'anneau s'ajoute au liseré du choix";
}

}  // namespace
}  // namespace ravlo
