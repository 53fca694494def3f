#include <gtest/gtest.h>

#include "app/banc_app.hpp"
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
  EXPECT_EQ(avecNoms("%s et %s", {"%s", "B"}), "%s et B");
  EXPECT_EQ(avecNoms("%s : 100 %% de %s", {"Salon"}), "Salon : 100 % de %s");
}

}  // namespace
}  // namespace ravlo
