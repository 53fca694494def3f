#include "link/app/qt/accueil_link.hpp"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/banc_app.hpp"
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
