// SPDX-License-Identifier: MPL-2.0
#include <gtest/gtest.h>

#include "app/banc_app.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/actions_panneau.hpp"
#include "link/app/etat_panneau.hpp"
#include "link/app/regles_panneau.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using R = ChercheurRavlo::Resultat::Cas;
using N = EtatNavigateur::Cas;
using C = EtatConnexion::Cas;
using A = banc::Application;

// Chaque cas réunit plusieurs conditions : le titre attendu dit laquelle l'emporte.
TEST(Panneau, LesReglesDuMessageDansLeurOrdre) {
  const auto res = [](A& a, R r) {
    a.chercheur().changerResultat({r, {}, ErreurAppairage::pasDeReponse});
  };
  const auto silenceRefuse = [](A& a) {
    a.audio->script.silence = ErreurCapture{ErreurCapture::Cas::silenceImpossible, -1};
    a.diffusion().changerNEntendreQueLeRecepteur(true);
  };
  const std::vector<std::tuple<std::string, bool, std::function<void(A&)>>> cas{
      {"L'envoi n'a pas pu démarrer", false,
       [&](A& a) {
         res(a, R::refuse);
         a.audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::serveurInjoignable, -1};
         a.envoyer();
       }},
      {"Appairage impossible", false,
       [&](A& a) {
         a.reseau(N::attente);
         res(a, R::echec);
       }},
      {"Réseau local inaccessible", true, [](A& a) { a.reseau(N::attente); }},
      {"La recherche s'est arrêtée", false,
       [&](A& a) {
         a.appaire();
         res(a, R::accepte);
         a.reseau(N::echec);
       }},
      {"Cet ordinateur ne livre aucun son", true,
       [&](A& a) {  // récepteur muet aussi, et un refus qui ne vaut pas pendant l'envoi
         res(a, R::refuse);
         a.envoyer();
         a.etatConnexion(C::prete);
         a.file->avancer(6s);
       }},
      {"Problème de réseau", false,
       [&](A& a) {
         a.envoyer();
         silenceRefuse(a);
         a.etatConnexion(C::attente);
         a.file->avancer(500ms);
       }},
      {"Le récepteur ne répond plus", false,
       [&](A& a) {
         a.envoyer();
         silenceRefuse(a);
         a.etatConnexion(C::prete);
         a.file->avancer(3500ms);
       }},
      {"L'ordinateur n'a pas pu se taire", false,
       [&](A& a) {
         a.envoyer();
         silenceRefuse(a);
       }},
      {"", false, [](A& a) { a.envoyer(); }},
  };
  for (const auto& [titre, reglages, preparer] : cas) {
    SCOPED_TRACE(titre);
    A app;
    preparer(app);
    const auto message = EtatPanneau::depuis(*app.modele, "fr").message;
    EXPECT_EQ(message.has_value(), !titre.empty());
    if (!message) continue;
    EXPECT_EQ(message->titre, titre);
    EXPECT_EQ(message->ouvrirReglages, reglages);
    if (titre == "Appairage impossible") {
      EXPECT_EQ(message->texte, texte(ErreurAppairage::pasDeReponse, "fr"))
          << "traduit à l'affichage";
    }
  }
}

// Un message s'en va quand ce qu'il dit n'est plus vrai, et pas avant.
TEST(Panneau, UnMessageNeSurvitPasASaVerite) {
  const auto echecDuDemarrage = [](A& a) {
    a.audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::serveurInjoignable, -1};
    a.envoyer();
    a.audio->script.demarrer.reset();
  };
  const auto silenceRefuse = [](A& a) {
    a.envoyer();
    a.audio->script.silence = ErreurCapture{ErreurCapture::Cas::silenceImpossible, -1};
    a.diffusion().changerNEntendreQueLeRecepteur(true);
    a.audio->script.silence.reset();
  };
  const std::vector<std::tuple<std::string, std::string, std::function<void(A&)>>> cas{
      {"échec du démarrage, même récepteur", "L'envoi n'a pas pu démarrer", echecDuDemarrage},
      {"échec du démarrage, puis un code faux", "Code refusé",
       [&](A& a) {
         echecDuDemarrage(a);
         a.modele->changerDeRecepteur();
         a.chercheur().changerResultat({R::refuse, {}});
       }},
      {"échec du démarrage, puis un autre récepteur appairé", "",
       [&](A& a) {
         echecDuDemarrage(a);
         a.modele->changerDeRecepteur();
         a.chercheur().changerAppaire(ChercheurRavlo::RecepteurAppaire{
             {"Cuisine", "Cuisine", banc::service("Cuisine").point},
             Liaison::nouvelle(banc::cle(3), banc::cle(4))});
       }},
      {"silence refusé, envoi qui continue", "L'ordinateur n'a pas pu se taire", silenceRefuse},
      {"silence refusé, puis arrêt et relance qui se tait", "",
       [&](A& a) {
         silenceRefuse(a);
         a.diffusion().arreter();
         a.envoyer();
         EXPECT_TRUE(a.audio->muet) << "la nouvelle capture s'est tue";
       }},
  };
  for (const auto& [nom, titre, preparer] : cas) {
    SCOPED_TRACE(nom);
    A app;
    preparer(app);
    app.file->executer();
    const auto message = EtatPanneau::depuis(*app.modele, "fr").message;
    EXPECT_EQ(message ? message->titre : std::string(), titre);
  }
}

// Deux noms courts se lisent, sinon le compte ; les marques ne prennent que les noms donnés,
// et un nom qui contient une marque reste tel quel.
TEST(Panneau, LaDestinationNommeOuCompteLesPieces) {
  using V = std::vector<std::string>;
  for (const auto& [noms, attendue] : std::vector<std::pair<V, std::string>>{
           {{}, ""},
           {{"Salon"}, "Salon"},
           {{"Salon", "Cuisine"}, "Salon et Cuisine"},
           {{"Salon du rez-de-chaussée", "Cuisine"}, "2 pièces"},
           {{"Salon", "Cuisine", "Bureau"}, "3 pièces"},
       }) {
    EXPECT_EQ(destinationEnvoi(noms, "fr"), attendue);
  }
  EXPECT_EQ(libelleSilence(1, "fr"), "N'entendre que le récepteur");
  EXPECT_EQ(libelleSilence(2, "fr"), "N'entendre que les récepteurs");
  EXPECT_EQ(avecNoms("%s et %s", {"%s", "B"}), "%s et B");
  EXPECT_EQ(avecNoms("%s : 100 %% de %s", {"Salon"}), "Salon : 100 % de %s");
}

struct SaisieEtMessages : ::testing::Test {
  A app;
  std::shared_ptr<SaisiePanneau> saisie = std::make_shared<SaisiePanneau>();
  ActionsPanneau actions = ActionsPanneau::pour(
      app.modele, saisie, std::make_shared<PlateformeAppEnregistreuse>(), *app.file);
  EtatPanneau etat() { return EtatPanneau::depuis(*app.modele, "fr"); }
};

// Après un code faux, le récepteur en montre un neuf : le message le dit, et s'en va dès le
// premier chiffre du suivant ; de même l'échec d'un ajout, l'issue de l'envoi restant.
TEST_F(SaisieEtMessages, UnRefusDitLeNouveauCodeEtSEffaceQuandOnTape) {
  app.chercheur().changerResultat({R::refuse, {}});
  ASSERT_TRUE(etat().message.has_value());
  EXPECT_EQ(etat().message->titre, "Code refusé");
  EXPECT_EQ(etat().message->texte,
            "Le récepteur affiche maintenant un nouveau code : tape celui-là.");
  actions.taperCode("x");
  EXPECT_TRUE(etat().message.has_value()) << "rien de tapé qui compte";
  actions.taperCode("4");
  EXPECT_EQ(saisie->code(), "4");
  EXPECT_FALSE(etat().message.has_value());

  app.envoyer();
  const ChercheurRavlo::Resultat resultatEnvoi = app.chercheur().resultat();
  app.modele->ajouterPiece({"Cuisine", "Cuisine", banc::service("Cuisine").point}, "12");
  ASSERT_TRUE(etat().message.has_value());
  EXPECT_EQ(etat().message->titre, "Appairage impossible avec Cuisine");
  actions.taperCode("1");
  EXPECT_FALSE(etat().message.has_value());
  EXPECT_EQ(app.chercheur().resultat(), resultatEnvoi);
}

// Un refus d'office (pause du récepteur, ou son code fixe déjà servi : le fil ne les
// distingue pas) ne promet pas qu'un nouvel essai passera.
TEST_F(SaisieEtMessages, UnRefusDOfficeNePrometPasUnNouvelEssai) {
  app.chercheur().changerResultat({R::echec, {}, ErreurAppairage::refusAvantDevoilement});
  ASSERT_TRUE(etat().message.has_value());
  const std::string t = etat().message->texte;
  EXPECT_EQ(t.find("Réessaie"), std::string::npos) << t;
  EXPECT_NE(t.find("code fixe"), std::string::npos) << t;
  EXPECT_NE(t.find("Relance le récepteur"), std::string::npos) << t;
}

// « Ajouter par adresse » : une faute se dit sous les champs, qui restent ouverts ; l'adresse
// résolue fait une carte choisie, appairée à cette adresse.
TEST_F(SaisieEtMessages, AjouterParAdresseChoisitLaCarteOuDitLaFaute) {
  app.noms["salon.local"] = "10.99.0.7";
  app.chercheur().demarrer();
  actions.ouvrirAdresse();
  EXPECT_TRUE(saisie->adresseOuverte());
  actions.ajouterAdresse("salon.local", "0");
  EXPECT_EQ(etat().erreurAdresse, texte(ErreurAdresse::portInvalide, "fr"));
  actions.ajouterAdresse("cuisine.local", "41234");
  EXPECT_TRUE(etat().resolutionEnCours);
  app.file->executer();
  EXPECT_EQ(etat().erreurAdresse, texte(ErreurAdresse::hoteInconnu, "fr"));
  EXPECT_TRUE(saisie->adresseOuverte());

  actions.ajouterAdresse("salon.local", "41234");
  app.file->executer();
  const auto e = etat();
  EXPECT_EQ(e.erreurAdresse, "");
  EXPECT_EQ(
      e.appareils,
      (std::vector<EtatPanneau::Appareil>{{"adresse:salon.local:41234", "salon.local:41234"}}));
  EXPECT_EQ(saisie->selection(), "adresse:salon.local:41234");
  EXPECT_FALSE(saisie->adresseOuverte());
  actions.taperCode("1234");
  actions.appairer();
  app.file->executer();
  ASSERT_FALSE(app.connexions->points.empty());
  EXPECT_EQ(app.connexions->points.back(), (PointReseau{"10.99.0.7", 41234}));
}

}  // namespace
}  // namespace ravlo
