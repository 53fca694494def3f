#include <gtest/gtest.h>

#include "app/banc_app.hpp"
#include "link/app/actions_panneau.hpp"
#include "link/app/etat_panneau.hpp"
#include "link/app/ticker_niveau.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using R = ChercheurRavlo::Resultat::Cas;
using N = EtatNavigateur::Cas;
using C = EtatConnexion::Cas;
using A = banc::Application;

// Chaque cas réunit plusieurs conditions : le titre attendu dit laquelle l'emporte.
TEST(Panneau, LesReglesDuMessageDansLeurOrdre) {
  const auto res = [](A& a, R r) { a.chercheur().changerResultat({r, "raison"}); };
  const auto silenceRefuse = [](A& a) {
    a.audio->script.ecrireDescription = -1;
    a.diffusion().changerNEntendreQueLIPhone(true);
  };
  const std::vector<std::tuple<std::string, bool, std::function<void(A&)>>> cas{
      {"L'envoi n'a pas pu démarrer", false,
       [&](A& a) {
         res(a, R::refuse);
         a.audio->script.tap = {-1, 0};
         a.envoyer();
       }},
      {"Appairage impossible", false,
       [&](A& a) {
         a.reseau(N::attente);
         res(a, R::echec);
       }},
      {"Code refusé", false,
       [&](A& a) {
         a.reseau(N::echec);
         res(a, R::refuse);
       }},
      {"Ce code a déjà été essayé", false, [&](A& a) { res(a, R::codeDejaEssaye); }},
      {"L'iPhone a arrêté la lecture", false, [&](A& a) { res(a, R::finParLIPhone); }},
      {"L'iPhone ne répond plus", false, [&](A& a) { res(a, R::iPhoneInjoignable); }},
      {"Réseau local inaccessible", true, [](A& a) { a.reseau(N::attente); }},
      {"La recherche s'est arrêtée", false,
       [&](A& a) {
         a.appaire();
         res(a, R::accepte);
         a.reseau(N::echec);
       }},
      {"Ce Mac ne livre aucun son", true,
       [&](A& a) {  // récepteur muet aussi, et un refus qui ne vaut pas pendant l'envoi
         res(a, R::refuse);
         a.envoyer();
         a.etatConnexion(C::prete);
         a.file->avancer(6s);
       }},
      {"Ce Mac ne livre aucun son", true,
       [](A& a) {
         a.envoyer();
         a.etatConnexion(C::attente);
         a.file->avancer(6s);
       }},
      {"Problème de réseau", false,
       [&](A& a) {
         a.envoyer();
         silenceRefuse(a);
         a.etatConnexion(C::attente);
         a.file->avancer(500ms);
       }},
      {"L'iPhone ne répond plus", false,
       [&](A& a) {
         a.envoyer();
         silenceRefuse(a);
         a.etatConnexion(C::prete);
         a.file->avancer(3500ms);
       }},
      {"Le Mac n'a pas pu se taire", false,
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
      EXPECT_EQ(message->texte, "raison");
    }
  }
}

TEST(Panneau, RecepteurMuetSeulementConnexionPreteEtRechercheSelonLeNavigateur) {
  A app;
  app.envoyer();
  app.file->avancer(3500ms);
  EXPECT_TRUE(EtatPanneau::depuis(*app.modele, "fr").iPhoneRepond) << "connexion pas prête";
  app.etatConnexion(C::prete);
  app.file->avancer(500ms);
  EXPECT_FALSE(EtatPanneau::depuis(*app.modele, "fr").iPhoneRepond);
  EXPECT_TRUE(EtatPanneau::depuis(*app.modele, "fr").rechercheEnCours) << "demarrage";
  app.reseau(N::echec);
  EXPECT_FALSE(EtatPanneau::depuis(*app.modele, "fr").rechercheEnCours);
}

TEST(Panneau, Actions) {
  A app;
  auto saisie = std::make_shared<SaisiePanneau>();
  auto bureau = std::make_shared<PlateformeAppEnregistreuse>();
  const auto actions = ActionsPanneau::pour(app.modele, saisie, bureau, *app.file);
  app.navigateurs->dernier().publier({banc::service("Salon")});
  app.file->executer();

  saisie->changerCode("1234");
  for (const std::optional<std::string>& choix : {std::optional<std::string>(), {"Parti"}}) {
    saisie->choisir(choix);
    actions.appairer();
    EXPECT_EQ(saisie->code(), "1234") << "rien de listé choisi : le code reste";
  }
  saisie->choisir("Salon");
  actions.appairer();
  EXPECT_EQ(saisie->code(), "") << "vidé avant l'issue";
  EXPECT_TRUE(app.connexions->creees.empty()) << "l'appairage part dans une tâche";
  app.file->avancer(10s);
  EXPECT_EQ(app.connexions->derniere().point, banc::service("Salon").point);

  actions.envoyer();
  EXPECT_FALSE(app.diffusion().enDiffusion()) << "rien d'appairé";
  app.appaire();
  actions.envoyer();
  EXPECT_TRUE(app.diffusion().enDiffusion());
  actions.envoyer();
  EXPECT_FALSE(app.diffusion().enDiffusion()) << "envoyer pendant l'envoi l'arrête";

  int notifications = 0;
  Abonnement abonnement = app.diffusion().observer([&] { ++notifications; });
  actions.basculerSilence();
  EXPECT_TRUE(app.diffusion().nEntendreQueLIPhone());
  EXPECT_EQ(notifications, 1);
  actions.ouvrirReglages();
  actions.quitter();
  EXPECT_EQ(bureau->reglagesOuverts + bureau->quitterDemande, 2);
}

TEST(Panneau, ReglesDesVues) {
  for (const auto& [s, texte] : std::vector<std::pair<double, std::string>>{{59, "0:59"},
                                                                            {61, "1:01"},
                                                                            {3599.9, "59:59"},
                                                                            {3600, "1:00:00"},
                                                                            {3661, "1:01:01"},
                                                                            {-4, "0:00"},
                                                                            {360'000, "100:00:00"}})
    EXPECT_EQ(formaterDuree(s), texte) << s;
  for (const auto& [saisie, code] : std::vector<std::pair<std::string, std::string>>{
           {"12a4", "124"}, {"123456", "1234"}, {" 0042 ", "0042"}, {"١٢٣٤", ""}})
    EXPECT_EQ(filtrerCode(saisie), code) << saisie;
  const std::vector<EtatPanneau::Appareil> deux{{"a", "A"}, {"b", "B"}};
  EXPECT_EQ(selectionEntretenue(std::nullopt, deux), "a");
  EXPECT_EQ(selectionEntretenue("b", deux), "b");
  EXPECT_EQ(selectionEntretenue("parti", deux), "a");
  EXPECT_EQ(selectionEntretenue("a", {}), std::nullopt);
  EXPECT_TRUE(appairagePossible("a", "1234", false));
  EXPECT_FALSE(appairagePossible("a", "1234", true) || appairagePossible("a", "123", false) ||
               appairagePossible(std::nullopt, "1234", false));
}

TEST(Panneau, LeReleveDuNiveauSuitLEnvoi) {
  A app;
  auto saisie = std::make_shared<SaisiePanneau>();
  TickerNiveau ticker(*app.file, app.diffusion().shared_from_this(), saisie);
  app.envoyer();
  ticker.relancer();
  static const std::vector<float> plein(640, 0.5F);
  const TamponBloc t{plein.data(), 2560};
  app.audio->livrer({&t, 1});
  app.file->avancer(90ms * 5);
  constexpr float niveau = 16'383.0F / 32'768.0F;  // 0,5 en 16 bits
  EXPECT_EQ(saisie->niveaux().valeurs,
            (std::array<float, 7>{0, niveau, niveau, niveau, niveau, niveau, niveau}))
      << "un relevé tout de suite, puis toutes les 90 ms";
  // Arrêtés, ils ne liraient plus que 0 : l'historique garde les derniers niveaux.
  app.diffusion().arreter();
  app.file->avancer(1s);
  app.envoyer();
  ticker.relancer();
  ticker.arreter();
  app.file->avancer(1s);
  EXPECT_FLOAT_EQ(saisie->niveaux().valeurs.back(), niveau) << "arrêté avec l'envoi, puis fermé";
}

}  // namespace
}  // namespace ravlo
