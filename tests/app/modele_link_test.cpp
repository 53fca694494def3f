#include "link/app/modele_link.hpp"

#include "app/banc_app.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using CasResultat = ChercheurRavlo::Resultat::Cas;

// Le renoncement de l'émetteur et le changement d'iPhone défont l'appairage ; l'icône suit.
TEST(ModeleLink, FinInjoignableChangementDIPhoneEtIcone) {
  EXPECT_TRUE(banc::Application(false).navigateurs->crees.empty()) << "accueil pas encore vu";
  banc::Application app;
  EXPECT_TRUE(app.chercheur().recherche());
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::repos);

  app.envoyer();
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::envoi);
  app.etatConnexion(EtatConnexion::Cas::attente);
  app.file->avancer(500ms);
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::probleme) << "erreur réseau";
  app.file->avancer(31s);  // l'émetteur renonce
  EXPECT_FALSE(app.chercheur().appaire().has_value());
  EXPECT_EQ(app.chercheur().resultat().cas, CasResultat::iPhoneInjoignable);
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::repos) << "une vieille erreur ne compte plus";

  app.envoyer();
  app.modele->changerDIPhone();
  app.file->executer();
  EXPECT_FALSE(app.diffusion().enDiffusion());
  EXPECT_TRUE(app.connexions->derniere().annulee);
  EXPECT_FALSE(app.chercheur().appaire().has_value());
  EXPECT_EQ(app.chercheur().resultat().cas, CasResultat::aucun);
}

TEST(ModeleLink, LaSondeTientUneSecondePuisRendSonVerdict) {
  banc::Application app;
  app.modele->sonder();
  app.modele->sonder();  // une seule à la fois
  app.file->avancer(999ms);
  EXPECT_EQ(app.modele->sondeDuSon(), std::nullopt);
  app.file->avancer(1ms);
  EXPECT_EQ(app.modele->sondeDuSon(), true) << "même sans aucun son";
  EXPECT_FALSE(app.audio->agregatVivant);

  banc::Application refus;
  refus.audio->script.demarrer = -3;
  refus.modele->sonder();
  EXPECT_EQ(refus.modele->sondeDuSon(), false);
  EXPECT_FALSE(refus.audio->agregatVivant);
}

}  // namespace
}  // namespace ravlo
