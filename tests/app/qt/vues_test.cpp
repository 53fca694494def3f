// SPDX-License-Identifier: MPL-2.0
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/banc_app.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/qt/accueil_link.hpp"
#include "link/app/qt/alerte.hpp"
#include "link/app/qt/anneau_link.hpp"
#include "link/app/qt/barre_miniature.hpp"
#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/cadre_accueil.hpp"
#include "link/app/qt/cadre_panneau.hpp"
#include "link/app/qt/carte_appareil.hpp"
#include "link/app/qt/carte_piece.hpp"
#include "link/app/qt/etiquette_ajustee.hpp"
#include "link/app/qt/formulaire_adresse.hpp"
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

// Un titre d'alerte trop long passe à la ligne entre deux mots, un nom sans espace entre deux
// lettres ; au-delà de trois lignes, il finit par « … » et se lit entier dans l'infobulle.
// Aucune ligne ne dépasse la largeur, aucune n'est cachée.
TEST(Vues, UnTitreLongPasseALaLigneOuSEcourteAvecInfobulle) {
  const QString reseau =
      QStringLiteral("Problème de réseau vers Cuisine ; les autres pièces jouent");
  const QString nom = QStringLiteral(
      "Salledebainsdudeuxièmeétagecôtéjardinnordouest ne répond plus ; "
      "les autres pièces jouent");
  const QString roman = nom + u' ' + nom + u' ' + nom;
  const auto sansBlancs = [](QString t) {
    t.removeIf([](QChar c) { return c.isSpace(); });
    return t;
  };
  for (const auto& [titre, ecourte] : {std::pair{reseau, false}, {nom, false}, {roman, true}}) {
    SCOPED_TRACE(titre.toStdString());
    Alerte alerte;
    alerte.montrerMessage(titre, QStringLiteral("Texte."), false);
    // La hauteur que le panneau lui donne pour sa largeur.
    alerte.setFixedSize(292, alerte.heightForWidth(292));
    alerte.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&alerte));
    const EtiquetteAjustee& e = alerte.etiquetteTitre();
    const QStringList lignes = e.text().split(u'\n');
    EXPECT_GE(lignes.size(), 2);
    EXPECT_LE(lignes.size(), 3);
    for (const QString& ligne : lignes)
      EXPECT_LE(e.fontMetrics().horizontalAdvance(ligne), e.contentsRect().width())
          << ligne.toStdString();
    EXPECT_GE(e.height(), e.heightForWidth(e.width())) << "toutes les lignes se voient";
    EXPECT_EQ(alerte.titre(), titre);
    EXPECT_EQ(e.text().endsWith(u'…'), ecourte);
    EXPECT_EQ(e.toolTip(), ecourte ? titre : QString());
    if (!ecourte) {
      EXPECT_EQ(sansBlancs(e.text()), sansBlancs(titre)) << "rien ne manque";
    }
  }
  EXPECT_EQ(texteAjuste(reseau, QFont(), 140, 9).replace(u'\n', u' '), reseau)
      << "coupé aux espaces quand les mots tiennent";
}

// « Ajouter par adresse » : le bouton ouvre, les champs partent tels que tapés, une erreur se
// montre, fermé il oublie ce qui était tapé ; pendant la résolution, « Ajouter » attend.
TEST(Vues, LeFormulaireDAdresseRendCeQuiEstTape) {
  FormulaireAdresse f;
  f.show();
  const QSignalSpy ouvrir(&f, &FormulaireAdresse::ouvrir);
  const QSignalSpy ajouter(&f, &FormulaireAdresse::ajouter);
  QTest::mouseClick(f.boutonOuvrir(), Qt::LeftButton);
  EXPECT_EQ(ouvrir.count(), 1);
  EXPECT_FALSE(f.champHote()->isVisible()) << "le propriétaire décide";
  f.afficher(true, false, QStringLiteral("Le port est faux"));
  EXPECT_TRUE(f.champHote()->isVisible());
  EXPECT_EQ(f.erreur(), QStringLiteral("Le port est faux"));
  QTest::keyClicks(f.champHote(), QStringLiteral("salon.local"));
  QTest::keyClicks(f.champPort(), QStringLiteral("41234"));
  QTest::keyClick(f.champPort(), Qt::Key_Return);
  ASSERT_EQ(ajouter.count(), 1);
  EXPECT_EQ(ajouter[0][0].toString(), QStringLiteral("salon.local"));
  EXPECT_EQ(ajouter[0][1].toString(), QStringLiteral("41234"));
  f.afficher(true, true, {});
  EXPECT_FALSE(f.boutonAjouter()->isEnabled());
  QTest::keyClick(f.champPort(), Qt::Key_Return);
  EXPECT_EQ(ajouter.count(), 1) << "une résolution à la fois";
  f.afficher(false, false, {});
  EXPECT_TRUE(f.champHote()->text().isEmpty());
}

}  // namespace
}  // namespace ravlo
