// SPDX-License-Identifier: MPL-2.0
// Les vues et les services du bureau vus par Qt, sur la plateforme « offscreen ».
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <thread>

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
#include "link/app/qt/image_qr.hpp"
#include "link/app/qt/instance_unique.hpp"
#include "link/app/qt/interrupteur.hpp"
#include "link/app/qt/logo_link.hpp"
#include "link/app/qt/magasin_reglages_qt.hpp"
#include "link/app/qt/panneau_link.hpp"
#include "link/app/qt/principal_qt.hpp"
#include "link/app/qt/repli_sans_zone.hpp"
#include "link/app/qt/saisie_code.hpp"
#include "link/app/qt/vue_panneau.hpp"
#include "link/app/qt/vue_pieces.hpp"
#include "link/app/qt/vue_telephone.hpp"
#include "plateforme/systeme.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Page = PageAccueil::Cas;

// Ce qu'un lecteur d'écran annonce ; le clic demande, seul le propriétaire change l'état. Le
// focus du clavier se voit autrement que le choix ; un nom coupé se lit dans l'infobulle.
TEST(Vues, LInterrupteurEtLaCarteSeDisentEtSuiventLeProprietaire) {
  QWidget fenetre;
  auto* bascule = new Interrupteur(QStringLiteral("N'entendre que le récepteur"), &fenetre);
  auto* carte = new CarteAppareil(QStringLiteral("Salon"), &fenetre);
  carte->resize(240, carte->sizeHint().height());
  fenetre.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&fenetre));
  QAccessibleInterface* a11yBascule = QAccessible::queryAccessibleInterface(bascule);
  QAccessibleInterface* a11yCarte = QAccessible::queryAccessibleInterface(carte);
  ASSERT_TRUE(a11yBascule && a11yCarte);
  EXPECT_EQ(a11yBascule->role(), QAccessible::CheckBox);
  EXPECT_EQ(a11yBascule->text(QAccessible::Value), QStringLiteral("désactivé"));
  EXPECT_EQ(a11yCarte->text(QAccessible::Name), QStringLiteral("Salon"));
  EXPECT_EQ(carte->toolTip(), QString()) << "un nom entier n'a pas d'infobulle";

  const QSignalSpy basculer(bascule, &Interrupteur::basculer);
  const QSignalSpy choisir(carte, &CarteAppareil::choisir);
  QTest::mouseClick(bascule, Qt::LeftButton);
  QTest::mouseClick(carte, Qt::LeftButton);
  EXPECT_EQ(basculer.count() + choisir.count(), 2);
  EXPECT_FALSE(bascule->actif());
  EXPECT_FALSE(a11yCarte->state().selected);

  bascule->changerActif(true);
  carte->changerChoisi(true);
  EXPECT_EQ(a11yBascule->text(QAccessible::Value), QStringLiteral("activé"));
  EXPECT_TRUE(a11yBascule->state().checked);
  EXPECT_TRUE(a11yCarte->state().selected);

  const QImage choisie = carte->grab().toImage();
  fenetre.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&fenetre));
  carte->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(carte->hasFocus());
  EXPECT_FALSE(carte->montreFocus()) << "focus venu de la souris : pas d'anneau";
  fenetre.setAttribute(Qt::WA_KeyboardFocusChange);  // ce que Qt pose après Tab
  EXPECT_TRUE(carte->montreFocus());
  EXPECT_NE(carte->grab().toImage(), choisie) << "l'anneau s'ajoute au liseré du choix";

  const QString long_ =
      QStringLiteral("Récepteur du grand salon au rez-de-chaussée, près de la fenêtre");
  CarteAppareil coupee(long_);
  coupee.resize(240, coupee.sizeHint().height());
  coupee.show();
  EXPECT_EQ(coupee.toolTip(), long_);
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

// Un parcours sur une seule application. L'accueil suit le modèle : bienvenue (rien ne
// cherche encore), refus du son, puis du réseau (le démon Avahi absent nommé, avec la
// commande qui le lance), chacun avec « Plus tard » et « Réessayer », bouton principal
// qu'Entrée presse : la recherche repart de zéro, la sonde ratée est refaite et la page attend
// tant qu'elle tourne ; prête ; Échap la ferme et c'est retenu. Le panneau filtre le code
// tapé ; pendant l'appairage le bouton attend et Entrée ne relance pas. À chaque écran, tout
// contrôle a un nom pour un lecteur d'écran.
TEST(Vues, LAccueilEtLePanneauSuiventLeModeleEtChaqueControleAUnNom) {
  banc::Application app(false);
  AccueilLink accueil(app.modele, app.reglages, {});
  const QSignalSpy fermee(&accueil, &AccueilLink::fermee);
  PanneauLink panneau(app.modele, std::make_shared<PlateformeAppEnregistreuse>(), *app.file,
                      ReglagesBureau{[](SujetReglages) { return true; }, [](SujetReglages) {}});
  const auto verifier = [&](const char* etape, Page page) {
    SCOPED_TRACE(etape);
    EXPECT_EQ(accueil.page().cas, page);
    EXPECT_EQ(sansNom(panneau.cadre()).join(u' ').toStdString(), "");
    EXPECT_EQ(sansNom(accueil.cadre()).join(u' ').toStdString(), "");
    if (page == Page::refus) {
      EXPECT_TRUE(std::ranges::any_of(
          accueil.cadre().findChildren<BoutonLink*>(),
          [](const BoutonLink* b) { return b->text() == QStringLiteral("Plus tard"); }));
    }
  };
  const auto entree = [&] { QTest::keyClick(&accueil.cadre(), Qt::Key_Return); };
  const auto navigateur = [&](EtatNavigateur etat) {
    app.navigateurs->dernier().publier({banc::service("Salon")});
    app.navigateurs->dernier().jouerEtat(std::move(etat));
    app.file->executer();
  };
  const auto reessayer = [&] {
    const std::size_t avant = app.navigateurs->crees.size();
    entree();
    EXPECT_EQ(app.navigateurs->crees.size(), avant + 1);
    EXPECT_TRUE(app.navigateurs->crees[avant - 1]->annule);
    navigateur({EtatNavigateur::Cas::pret, {}});
  };
  accueil.montrer();
  EXPECT_TRUE(app.navigateurs->crees.empty()) << "rien ne cherche avant « commencer »";
  panneau.ouvrirPres({});
  verifier("bienvenue, appairage vide", Page::bienvenue);
  app.audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::fluxImpossible, -1};
  entree();  // « Vérifier et commencer »
  navigateur({EtatNavigateur::Cas::pret, {}});
  verifier("refus du son, un récepteur", Page::refus);
  EXPECT_TRUE(accueil.page().refusDuSon);

  app.audio->script.demarrer.reset();
  reessayer();
  verifier("vérifications", Page::verifications);
  navigateur({EtatNavigateur::Cas::attente,
              ErreurReseau{DomaineErreurReseau::dnssd, ErreurReseau::dnssdServiceAbsent}});
  verifier("refus, message du réseau", Page::refus);
  EXPECT_FALSE(accueil.page().refusDuSon);
  EXPECT_EQ(accueil.page().texte, app.chercheur().etatReseau().texte(localeCourante()));
  EXPECT_NE(accueil.page().texte.find("systemctl start avahi-daemon"), std::string::npos);

  reessayer();
  EXPECT_EQ(accueil.page().cas, Page::verifications) << "la sonde du son tourne encore";
  app.file->avancer(ModeleLink::dureeSonde);
  verifier("prête, un récepteur", Page::pret);
  EXPECT_FALSE(app.reglages->booleen(ModeleLink::cleAccueilVu));
  QTest::keyClick(&accueil.cadre(), Qt::Key_Escape);
  EXPECT_EQ(fermee.count(), 1);
  EXPECT_FALSE(accueil.cadre().isVisible());
  EXPECT_TRUE(app.reglages->booleen(ModeleLink::cleAccueilVu));

  VuePanneau& vue = panneau.vue();
  BoutonLink* bouton = vue.boutonAppairer();
  QLineEdit* champ = vue.saisieCode()->champ();
  QTest::keyClicks(champ, QStringLiteral("48x215"));
  EXPECT_EQ(champ->text(), QStringLiteral("4821")) << "les chiffres seuls, les 4 premiers";
  EXPECT_TRUE(bouton->isEnabled());
  QTest::keyClick(champ, Qt::Key_Return);
  app.file->executer();
  ASSERT_TRUE(app.chercheur().appairageEnCours());
  const std::size_t connexions = app.connexions->creees.size();
  EXPECT_EQ(bouton->text(), QStringLiteral("Appairage…"));
  EXPECT_EQ(champ->text(), QString()) << "le code part, le champ se vide";
  QTest::keyClicks(champ, QStringLiteral("4821"));
  EXPECT_FALSE(bouton->isEnabled()) << "à 0,45 pendant l'appairage";
  QTest::keyClick(champ, Qt::Key_Return);
  app.file->executer();
  EXPECT_EQ(app.connexions->creees.size(), connexions) << "Entrée ignorée";
  app.file->avancer(9s);  // le dialogue abandonne au bout de 8 s
  EXPECT_EQ(bouton->text(), QStringLiteral("Appairer"));

  app.appaire();
  verifier("prête, récepteur appairé", Page::pret);
  app.envoyer();
  verifier("envoi", Page::pret);
  app.navigateurs->dernier().publier(
      {banc::service("Salon"), banc::service("Cuisine"), banc::service("Bureau")});
  app.diffusion().ajouterPiece(banc::service("Cuisine").point,
                               Liaison::nouvelle(banc::cle(3), banc::cle(4)), "Cuisine");
  app.file->executer();
  VuePieces& pieces = *panneau.vue().pieces();
  QTest::mouseClick(pieces.boutonOuvrir(), Qt::LeftButton);
  ASSERT_TRUE(pieces.saisieCode()->isVisibleTo(&panneau.cadre())) << "l'ajout s'est ouvert";
  verifier("envoi vers deux pièces, « Ajouter une pièce » ouvert", Page::pret);
  ASSERT_EQ(pieces.cartesPieces().size(), 2u);
  EXPECT_EQ(pieces.cartesPieces()[1]->boutonRetirer()->accessibleName(),
            QStringLiteral("Retirer Cuisine"));
  QTest::mouseClick(pieces.cartesPieces()[1]->boutonRetirer(), Qt::LeftButton);
  EXPECT_EQ(pieces.cartesPieces().size(), 1u) << "Cuisine retirée";
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
      EXPECT_EQ(e.text().simplified().remove(u' '), QString(titre).remove(u' '))
          << "rien ne manque";
    }
  }
  EXPECT_EQ(texteAjuste(reseau, QFont(), 140, 9).replace(u'\n', u' '), reseau)
      << "coupé aux espaces quand les mots tiennent";
}

// Le code QR : chaque module fait un carré plein du même nombre de pixels, noir ou blanc et
// rien entre les deux (pas de lissage), entouré de 4 modules blancs ; assez grand pour un
// appareil photo à bout de bras.
TEST(Vues, LeCodeQrEstFrancEtEntoureDeSaZoneCalme) {
  // Un damier de 5 × 5 dont un coin est blanc : l'orientation se voit.
  CodeQr qr{5, std::vector<bool>(25)};
  for (int i = 0; i < 25; ++i) qr.modules[static_cast<std::size_t>(i)] = (i % 2 == 0) && i != 24;
  for (const int pixels : {1, 3, 7}) {
    SCOPED_TRACE(pixels);
    const QImage image = imageQr(qr, pixels);
    const int total = (5 + 2 * zoneCalmeQr) * pixels;
    ASSERT_EQ(image.size(), QSize(total, total));
    for (int y = 0; y < total; ++y) {
      for (int x = 0; x < total; ++x) {
        const int mx = x / pixels - zoneCalmeQr;
        const int my = y / pixels - zoneCalmeQr;
        const bool dedans = mx >= 0 && my >= 0 && mx < 5 && my < 5;
        const QRgb attendu = dedans && qr.noir(mx, my) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, attendu & 0xFFFFFF) << x << "," << y;
      }
    }
  }
  for (const int cote : {21, 25, 33, 57}) {
    const int pixels = pixelsParModuleQr(cote);
    EXPECT_GE((cote + 2 * zoneCalmeQr) * pixels, largeurQr) << cote;
    EXPECT_LT((cote + 2 * zoneCalmeQr) * (pixels - 1), largeurQr) << cote << " : au plus juste";
  }
}

// « Écouter sur un téléphone » dans le panneau : allumé, le code QR porte l'adresse IPv4 de la
// page et toutes les adresses se lisent en texte ; une page reliée fait une carte de téléphone
// avec son adresse ; éteint, le code disparaît et le serveur s'arrête.
TEST(Vues, LeTelephoneMontreSonCodeQrEtSesPages) {
  banc::Application app;
  PanneauLink panneau(app.modele, std::make_shared<PlateformeAppEnregistreuse>(), *app.file,
                      ReglagesBureau{});
  panneau.ouvrirPres({});
  VueTelephone& vue = *panneau.vue().telephone();
  ASSERT_TRUE(vue.isVisibleTo(&panneau.cadre()));
  EXPECT_FALSE(vue.qr()->isVisibleTo(&panneau.cadre()));
  QTest::mouseClick(vue.interrupteur(), Qt::LeftButton);
  ASSERT_EQ(app.accueils.size(), 1u);
  EXPECT_TRUE(vue.interrupteur()->actif());
  ASSERT_TRUE(vue.qr()->isVisibleTo(&panneau.cadre()));
  const auto code = coderQr("http://10.99.0.5:40000/");
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(vue.qr()->pixmap().toImage(),
            imageQr(*code, pixelsParModuleQr(code->cote))
                .convertToFormat(vue.qr()->pixmap().toImage().format()));
  const QString adresses = vue.adresses()->text();
  for (const char* a : {"http://poste.local:40000/", "http://10.99.0.5:40000/"})
    EXPECT_TRUE(adresses.contains(QString::fromUtf8(a))) << adresses.toStdString();
  EXPECT_EQ(sansNom(panneau.cadre()).join(u' ').toStdString(), "");

  app.accueils.back()->arriver({"iPhone — Safari", "fr-FR", {"192.168.1.23", 51'234}});
  app.file->executer();
  const auto& cartes = panneau.vue().cartes();
  const auto carte = std::ranges::find_if(cartes, [](const CarteAppareil* c) {
    return c->text() == QStringLiteral("iPhone — Safari · 192.168.1.23");
  });
  ASSERT_NE(carte, cartes.end());
  EXPECT_TRUE((*carte)->telephone());

  QTest::mouseClick(vue.interrupteur(), Qt::LeftButton);
  EXPECT_FALSE(vue.qr()->isVisibleTo(&panneau.cadre()));
  EXPECT_TRUE(std::ranges::none_of(panneau.vue().cartes(),
                                   [](const CarteAppareil* c) { return c->telephone(); }));
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

// Sans zone, une fenêtre ordinaire qui dit pourquoi ; la zone venue, elle s'y retire ; la
// zone repartie, la fenêtre revient sans répéter la note. Un second lancement la ramène.
TEST(RepliSansZone, FenetreTantQueLaZoneManque) {
  banc::Application app;
  PanneauLink panneau(app.modele, std::make_shared<PlateformeAppEnregistreuse>(), *app.file,
                      ReglagesBureau{});
  bool zone = false;
  RepliSansZone repli(panneau, [&] { return zone; });

  struct Pas {
    bool zone;
    bool enFenetre;
    bool visible;
    bool note;
  };
  const Pas pas[] = {{false, true, true, true},
                     {false, true, true, true},
                     {true, false, false, false},
                     {true, false, false, false},
                     {false, true, true, false}};
  int i = 0;
  for (const Pas& p : pas) {
    SCOPED_TRACE(i++);
    zone = p.zone;
    repli.verifier();
    const CadrePanneau& cadre = panneau.cadre();
    EXPECT_EQ(repli.enFenetre(), p.enFenetre);
    EXPECT_EQ(cadre.enFenetre(), p.enFenetre);
    EXPECT_EQ(cadre.isVisible(), p.visible);
    EXPECT_EQ(!cadre.note().isEmpty(), p.note);
    EXPECT_EQ(cadre.windowFlags().testFlag(Qt::Popup), !p.enFenetre);
  }
  EXPECT_TRUE(app.chercheur().recherche()) << "ouvrir le panneau relance la recherche";

  panneau.cadre().close();
  panneau.rappeler({});
  EXPECT_TRUE(panneau.cadre().isVisible());
  EXPECT_TRUE(panneau.cadre().enFenetre());
}

// Sous ou sur l'icône, toujours à l'écran. Hôte StatusNotifier (icône sans géométrie) : le
// panneau part du pointeur, sous lui en haut de l'écran, au-dessus en bas, et reste dans la
// zone utile même au coin.
TEST(CadrePanneau, PoseSousOuSurLIconeOuLePointeurEtResteALEcran) {
  const QRect ecran(0, 0, 1920, 1080), barre(0, 32, 1920, 1048);  // une barre de 32 en haut
  const QSize taille(320, 500);
  struct Cas {
    QRect ecran, icone;
    std::optional<QPoint> pointeur;  // sans : l'icône seule sert d'ancre
    QPoint attendu;
  };
  const Cas cas[] = {{ecran, {1000, 0, 24, 28}, {}, {852, 34}},   // barre en haut au milieu
                     {ecran, {1890, 0, 24, 28}, {}, {1592, 34}},  // en haut au bord droit
                     {ecran, {4, 1052, 24, 28}, {}, {8, 546}},    // en bas au bord gauche
                     {ecran, {}, {}, {1592, 8}},                  // icône inconnue
                     // Écran plus petit que le panneau : le haut-gauche reste visible.
                     {{0, 0, 300, 400}, {100, 0, 24, 28}, {}, {8, 8}},
                     {barre, {1000, 0, 24, 28}, QPoint{5, 5}, {852, 40}},  // l'hôte dit où
                     {barre, {}, QPoint{1000, 10}, {841, 40}},    // barre en haut : dessous
                     {barre, {}, QPoint{1910, 16}, {1592, 40}},   // coin haut-droit : rentré
                     {barre, {}, QPoint{960, 1075}, {801, 569}},  // barre en bas : dessus
                     {barre, {}, QPoint{2, 1079}, {8, 572}},      // coin bas-gauche
                     {barre, {5, 5, 0, 0}, QPoint{600, 600}, {441, 94}}};  // vide
  for (const auto& [e, icone, pointeur, attendu] : cas) {
    const QRect ancre = pointeur ? ancrePanneau(icone, *pointeur) : icone;
    EXPECT_EQ(positionPanneau(ancre, taille, e), attendu)
        << icone.x() << "," << icone.y() << " " << ancre.x() << "," << ancre.y();
  }
}

// Un contenu plus haut que la zone utile défile sous l'en-tête : le panneau n'en dépasse pas
// (marge 8), et celui qui grandit vers le bas remonte pour y rester entier ; redevenu court,
// il reprend sa hauteur et ne défile plus.
TEST(CadrePanneau, PlusHautQueLEcranLeContenuDefile) {
  const QRect zone(0, 0, 640, 400);
  CadrePanneau cadre;
  auto* contenu = new QWidget;
  auto* pile = new QVBoxLayout(contenu);
  auto* bloc = new QWidget(contenu);
  pile->addWidget(bloc);
  cadre.changerContenu(contenu);
  cadre.show();
  for (const auto& [hauteur, defile] : {std::pair{200, false}, {900, true}, {120, false}}) {
    SCOPED_TRACE(hauteur);
    bloc->setFixedHeight(hauteur);
    cadre.move(10, 40);
    cadre.ajusterA(zone);
    QApplication::processEvents();
    EXPECT_TRUE(zone.adjusted(8, 8, -8, -8).contains(cadre.geometry())) << "entier à l'écran";
    EXPECT_EQ(cadre.defilement()->verticalScrollBar()->maximum() > 0, defile);
    EXPECT_LE(contenu->width(), cadre.defilement()->viewport()->width())
        << "rien de rogné à droite";
    if (!defile) {
      EXPECT_EQ(cadre.y(), 40) << "qui tient ne bouge pas";
      EXPECT_GE(cadre.defilement()->height(), hauteur);
    }
  }
  // Le contenu qui change de lui-même (un widget montré plus tard) est suivi.
  bloc->setFixedHeight(250);
  QApplication::processEvents();
  QApplication::processEvents();
  EXPECT_GE(cadre.defilement()->height(), 250);
  EXPECT_EQ(cadre.defilement()->verticalScrollBar()->maximum(), 0);
}

// Une socket restée sur le disque (instance tuée) ne gêne pas la première ; chaque lancement
// suivant lui passe la main, elle seule écoute. Sans première qui écoute, la main ne passe pas,
// au bout du délai, sans rester bloquée. Le verrou d'une instance tuée :
// zone_notification_test.sh, sur le vrai programme.
TEST(InstanceUnique, LesSuivantesPassentLaMainALaPremiere) {
  const QTemporaryDir dossier;
  const QString socket = dossier.filePath(QStringLiteral("ravlo-link.socket"));
  ASSERT_TRUE(QFile(socket).open(QIODevice::WriteOnly));
  const InstanceUnique premiere(dossier.path());
  ASSERT_TRUE(premiere.premiere() && premiere.ecoute());
  const QSignalSpy ouvrir(&premiere, &InstanceUnique::ouvrir);
  for (int lancement = 1; lancement <= 2; ++lancement) {
    const InstanceUnique suivante(dossier.path());
    EXPECT_FALSE(suivante.premiere() || suivante.ecoute());
    EXPECT_TRUE(suivante.passerLaMain());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ouvrir.count() == lancement; }, 10'000));
  }
  ASSERT_TRUE(QFile::remove(socket));
  EXPECT_FALSE(InstanceUnique(dossier.path()).passerLaMain(200));
}

// Postées d'un autre fil, les tâches tournent sur le fil de Qt, dans l'ordre ; une minuterie
// annulée d'un autre fil ne tire plus.
TEST(PrincipalQt, TachesDAutresFilsEtMinuterieAnnuleeDAilleurs) {
  PrincipalQt principal;
  std::vector<std::pair<int, std::thread::id>> vus;
  std::thread([&] {
    for (int i = 1; i <= 3; ++i)
      principal.poster([&, i] { vus.emplace_back(i, std::this_thread::get_id()); });
  }).join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return vus.size() == 3; }, 2000));
  const auto qt = std::this_thread::get_id();
  EXPECT_EQ(vus, (std::vector<std::pair<int, std::thread::id>>{{1, qt}, {2, qt}, {3, qt}}));

  std::atomic<int> tirs{0};
  auto minuterie = principal.repeter(5ms, 1ms, [&] { ++tirs; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return tirs.load() >= 3; }, 2000));
  std::thread([&] { minuterie->annuler(); }).join();
  const int avant = tirs.load();
  QTest::qWait(40);
  EXPECT_EQ(tirs.load(), avant);
}

// Relus d'un autre objet, les réglages tiennent ; lus sous une autre sorte, ils manquent.
TEST(MagasinReglagesQt, GardeSurLeDisqueEtRefuseLesAutresSortes) {
  const QTemporaryDir dossier;
  const QString fichier = dossier.filePath(QStringLiteral("ravlo-link.conf"));
  {
    MagasinReglagesQt reglages(fichier);
    reglages.ecrireBooleen("RavloAccueilVu", true);
    reglages.ecrireOctets("graine", Octets{0, 1, 255});
  }
  const MagasinReglagesQt relus(fichier);
  EXPECT_EQ(relus.lireBooleen("RavloAccueilVu"), true);
  EXPECT_EQ(relus.lireOctets("graine"), (Octets{0, 1, 255}));
  EXPECT_EQ(relus.lireBooleen("graine"), std::nullopt) << "une autre sorte";
  EXPECT_EQ(relus.lireOctets("RavloAccueilVu"), std::nullopt);
}

}  // namespace
}  // namespace ravlo

// Les tests des vues tournent sur la plateforme « offscreen » de Qt : ni écran ni serveur X.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // La liste des tests, lue à la construction (aussi sous sanitizers), se passe de Qt.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
