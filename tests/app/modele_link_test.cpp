#include "link/app/modele_link.hpp"

#include "app/banc_app.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using CasResultat = ChercheurRavlo::Resultat::Cas;

// Le renoncement de l'émetteur et le changement de récepteur défont l'appairage ; l'icône suit.
TEST(ModeleLink, FinInjoignableChangementDeRecepteurEtIcone) {
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
  EXPECT_EQ(app.chercheur().resultat().cas, CasResultat::recepteurInjoignable);
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::repos) << "une vieille erreur ne compte plus";

  app.envoyer();
  app.modele->changerDeRecepteur();
  app.file->executer();
  EXPECT_FALSE(app.diffusion().enDiffusion());
  EXPECT_TRUE(app.connexions->derniere().annulee);
  EXPECT_FALSE(app.chercheur().appaire().has_value());
  EXPECT_EQ(app.chercheur().resultat().cas, CasResultat::aucun);
}

// Une seule sonde à la fois ; verdict au bout d'une seconde, même sans aucun son, ou tout
// de suite si la capture refuse ; la capture ne survit pas à la sonde.
TEST(ModeleLink, LaSondeTientUneSecondePuisRendSonVerdict) {
  for (const int demarrer : {0, -3}) {
    banc::Application app;
    if (demarrer != 0)
      app.audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::fluxImpossible, demarrer};
    app.modele->sonder();
    app.modele->sonder();
    app.file->avancer(999ms);
    EXPECT_EQ(app.modele->sondeDuSon(), demarrer ? std::optional(false) : std::nullopt);
    app.file->avancer(1ms);
    EXPECT_EQ(app.modele->sondeDuSon(), demarrer == 0);
    EXPECT_FALSE(app.audio->demarree());
  }
}

}  // namespace
}  // namespace ravlo
