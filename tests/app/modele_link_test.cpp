#include "link/app/modele_link.hpp"

#include "app/banc_app.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using CasResultat = ChercheurRavlo::Resultat::Cas;

TEST(ModeleLink, LaRechercheNeDemarreQueSiLAccueilAEteVu) {
  for (const bool vu : {true, false}) {
    banc::Application app(vu);
    EXPECT_EQ(app.navigateurs->crees.size(), vu ? 1u : 0u) << vu;
    EXPECT_EQ(app.chercheur().recherche(), vu);
    EXPECT_EQ(app.modele->sondeDuSon(), std::nullopt);
    EXPECT_EQ(etatIcone(*app.modele), EtatIcone::repos);
  }
}

TEST(ModeleLink, LaFinDeDiffusionRameneALAppairageAvecSaRaison) {
  banc::Application app;
  app.envoyer();
  app.etatConnexion(EtatConnexion::Cas::prete);
  app.finDuRecepteur();
  EXPECT_FALSE(app.chercheur().appaire().has_value());
  EXPECT_EQ(app.chercheur().resultat().cas, CasResultat::finParLIPhone);
  EXPECT_FALSE(app.diffusion().enDiffusion());

  app.envoyer();
  app.etatConnexion(EtatConnexion::Cas::echec);
  app.file->avancer(31s);
  EXPECT_FALSE(app.chercheur().appaire().has_value());
  EXPECT_EQ(app.chercheur().resultat().cas, CasResultat::iPhoneInjoignable);
}

TEST(ModeleLink, ChangerDIPhoneArreteDAbordLEnvoi) {
  banc::Application app;
  app.envoyer();
  app.chercheur().changerResultat({CasResultat::accepte, "Salon"});
  app.modele->changerDIPhone();
  EXPECT_FALSE(app.diffusion().enDiffusion());
  app.file->executer();
  EXPECT_TRUE(app.connexions->derniere().annulee);
  EXPECT_FALSE(app.chercheur().appaire().has_value());
  EXPECT_EQ(app.chercheur().resultat().cas, CasResultat::aucun);
}

TEST(ModeleLink, EnvoiPerturbeEtIcone) {
  banc::Application app;
  app.envoyer();
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::envoi);
  app.etatConnexion(EtatConnexion::Cas::attente);
  app.file->avancer(500ms);
  ASSERT_TRUE(app.diffusion().erreurReseau().has_value());
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::probleme);
  app.diffusion().arreter();
  EXPECT_FALSE(app.modele->envoiPerturbe()) << "une vieille erreur ne compte plus à l'arrêt";
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::repos);

  app.envoyer();
  app.file->avancer(6s);
  ASSERT_TRUE(app.diffusion().captureMuette());
  EXPECT_TRUE(app.modele->envoiPerturbe());
  app.diffusion().arreter();
  app.audio->script.tap = {-1, 0};
  app.envoyer();
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::probleme) << "échec du démarrage";
}

TEST(ModeleLink, LaSondeTientUneSecondePuisRendSonVerdict) {
  banc::Application app;
  app.modele->sonder();
  EXPECT_TRUE(app.audio->demarre);
  app.modele->sonder();  // une seule sonde à la fois
  app.file->avancer(999ms);
  EXPECT_EQ(app.modele->sondeDuSon(), std::nullopt);
  app.file->avancer(1ms);
  EXPECT_EQ(app.modele->sondeDuSon(), true) << "même sans aucun son";
  EXPECT_FALSE(app.audio->demarre);
  EXPECT_FALSE(app.audio->agregatVivant);

  banc::Application refus;
  refus.audio->script.demarrer = -3;
  refus.modele->sonder();
  EXPECT_EQ(refus.modele->sondeDuSon(), false);
  EXPECT_FALSE(refus.audio->agregatVivant);
}

}  // namespace
}  // namespace ravlo
