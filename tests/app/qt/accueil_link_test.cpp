// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/accueil_link.hpp"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "app/banc_app.hpp"
#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/cadre_accueil.hpp"
#include "link/app/qt/magasin_reglages_qt.hpp"
#include "plateforme/systeme.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Page = PageAccueil::Cas;

// La page suit le modèle : bienvenue, puis l'attente, puis prête quand la sonde a réussi et
// que la recherche est active ; un réseau qui manque donne le refus avec son texte.
TEST(AccueilLink, LaPageSuitLeModeleEtLaFermetureEstRetenue) {
  banc::Application app(false);
  AccueilLink accueil(app.modele, app.reglages, {});
  const QSignalSpy fermee(&accueil, &AccueilLink::fermee);
  accueil.montrer();
  EXPECT_EQ(accueil.page().cas, Page::bienvenue);
  EXPECT_TRUE(app.navigateurs->crees.empty()) << "rien ne cherche avant « commencer »";

  accueil.commencer();
  EXPECT_EQ(accueil.page().cas, Page::verifications);
  app.navigateurs->dernier().jouerEtat({EtatNavigateur::Cas::pret, {}});
  app.file->executer();
  EXPECT_EQ(accueil.page().cas, Page::verifications) << "la sonde du son tourne encore";
  app.file->avancer(ModeleLink::dureeSonde);
  EXPECT_EQ(accueil.page().cas, Page::pret);

  app.navigateurs->dernier().jouerEtat(
      {EtatNavigateur::Cas::attente, ErreurReseau{DomaineErreurReseau::posix, ENETDOWN}});
  app.file->executer();
  EXPECT_EQ(accueil.page().cas, Page::refus);
  EXPECT_EQ(accueil.page().texte, app.chercheur().etatReseau().texte(localeCourante()));

  EXPECT_FALSE(app.reglages->booleen(ModeleLink::cleAccueilVu));
  accueil.cadre().close();
  EXPECT_EQ(fermee.count(), 1);
  EXPECT_TRUE(app.reglages->booleen(ModeleLink::cleAccueilVu));
}

// Chaque refus offre « Réessayer », bouton principal qu'Entrée presse : la recherche repart
// de zéro et la sonde refaite, la page attend de nouveau, puis se dit prête quand le service
// est revenu. Le démon Avahi absent est nommé, avec la commande qui le lance. Échap ferme.
TEST(AccueilLink, ReessayerApresUnRefusEtLeClavier) {
  const ErreurReseau demonAbsent{DomaineErreurReseau::dnssd, ErreurReseau::dnssdServiceAbsent};
  for (const bool duSon : {false, true}) {
    SCOPED_TRACE(duSon ? "son" : "réseau");
    banc::Application app(false);
    AccueilLink accueil(app.modele, app.reglages, {});
    const QSignalSpy fermee(&accueil, &AccueilLink::fermee);
    accueil.montrer();
    if (duSon) app.audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::fluxImpossible, -1};
    QTest::keyClick(&accueil.cadre(), Qt::Key_Return);
    ASSERT_EQ(app.navigateurs->crees.size(), 1u) << "Entrée : « Vérifier et commencer »";
    app.navigateurs->dernier().jouerEtat(
        duSon ? EtatNavigateur{EtatNavigateur::Cas::pret, {}}
              : EtatNavigateur{EtatNavigateur::Cas::attente, demonAbsent});
    app.file->avancer(ModeleLink::dureeSonde);
    ASSERT_EQ(accueil.page().cas, Page::refus);
    EXPECT_EQ(accueil.page().refusDuSon, duSon);
    if (!duSon) {
      EXPECT_NE(accueil.page().texte.find("avahi-daemon"), std::string::npos);
      EXPECT_NE(accueil.page().texte.find("systemctl start avahi-daemon"), std::string::npos);
    }
    const auto boutons = accueil.cadre().findChildren<BoutonLink*>();
    EXPECT_TRUE(std::ranges::any_of(
        boutons, [](const BoutonLink* b) { return b->text() == QStringLiteral("Plus tard"); }));

    app.audio->script.demarrer.reset();
    QTest::keyClick(&accueil.cadre(), Qt::Key_Return);
    EXPECT_EQ(app.navigateurs->crees.size(), 2u) << "Entrée : « Réessayer »";
    EXPECT_TRUE(app.navigateurs->crees.front()->annule);
    EXPECT_EQ(accueil.page().cas, Page::verifications);
    app.navigateurs->dernier().jouerEtat({EtatNavigateur::Cas::pret, {}});
    app.file->avancer(ModeleLink::dureeSonde);
    EXPECT_EQ(accueil.page().cas, Page::pret);
    EXPECT_EQ(app.modele->sondeDuSon(), true);

    QTest::keyClick(&accueil.cadre(), Qt::Key_Escape);
    EXPECT_EQ(fermee.count(), 1);
    EXPECT_FALSE(accueil.cadre().isVisible());
  }
}

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
