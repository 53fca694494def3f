#include <gtest/gtest.h>

#include "app/banc_app.hpp"
#include "link/app/actions_panneau.hpp"
#include "link/app/etat_panneau.hpp"
#include "link/app/ticker_niveau.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using CasResultat = ChercheurRavlo::Resultat::Cas;
using CasNavigateur = EtatNavigateur::Cas;
using Ecran = EtatPanneau::Ecran;

// Chaque cas réunit plusieurs conditions : le titre attendu prouve laquelle l'emporte.
TEST(Panneau, LesReglesDuMessageDansLeurOrdre) {
  using A = banc::Application;
  struct Cas {
    const char* titre;  // vide : aucun message
    bool reglages;
    std::function<void(A&)> preparer;
  };
  const auto resultat = [](CasResultat c, std::string t = "raison") {
    return [c, t](A& a) { a.chercheur().changerResultat({c, t}); };
  };
  const std::vector<Cas> cas{
      {"L'envoi n'a pas pu démarrer", false,
       [&](A& a) {
         resultat(CasResultat::refuse)(a);
         a.reseau(CasNavigateur::attente);
         a.audio->script.tap = {-1, 0};
         a.envoyer();
       }},
      {"Appairage impossible", false,
       [&](A& a) {
         a.reseau(CasNavigateur::attente);
         resultat(CasResultat::echec)(a);
       }},
      {"Code refusé", false,
       [&](A& a) {
         a.reseau(CasNavigateur::echec);
         resultat(CasResultat::refuse)(a);
       }},
      {"Ce code a déjà été essayé", false, resultat(CasResultat::codeDejaEssaye)},
      {"L'iPhone a arrêté la lecture", false, resultat(CasResultat::finParLIPhone)},
      {"L'iPhone ne répond plus", false, resultat(CasResultat::iPhoneInjoignable)},
      {"Réseau local inaccessible", true, [](A& a) { a.reseau(CasNavigateur::attente); }},
      {"La recherche s'est arrêtée", false,
       [&](A& a) {
         a.appaire();
         resultat(CasResultat::accepte, "Salon")(a);
         a.reseau(CasNavigateur::echec);
       }},
      {"Ce Mac ne livre aucun son", true,
       [&](A& a) {
         resultat(CasResultat::refuse)(a);
         a.envoyer();
         a.etatConnexion(EtatConnexion::Cas::prete);
         a.file->avancer(6s);  // récepteur muet lui aussi
       }},
      {"Ce Mac ne livre aucun son", true,
       [](A& a) {
         a.envoyer();
         a.etatConnexion(EtatConnexion::Cas::attente);
         a.file->avancer(6s);
       }},
      {"Problème de réseau", false,
       [](A& a) {
         a.envoyer();
         a.audio->script.ecrireDescription = -1;
         a.diffusion().changerNEntendreQueLIPhone(true);
         a.etatConnexion(EtatConnexion::Cas::attente);
         a.file->avancer(500ms);
       }},
      {"L'iPhone ne répond plus", false,
       [](A& a) {
         a.envoyer();
         a.audio->script.ecrireDescription = -1;
         a.diffusion().changerNEntendreQueLIPhone(true);
         a.etatConnexion(EtatConnexion::Cas::prete);
         a.file->avancer(3500ms);
       }},
      {"Le Mac n'a pas pu se taire", false,
       [](A& a) {
         a.envoyer();
         a.audio->script.ecrireDescription = -1;
         a.diffusion().changerNEntendreQueLIPhone(true);
       }},
      {"", false,
       [&](A& a) {
         resultat(CasResultat::aucun)(a);
         a.reseau(CasNavigateur::pret);
         a.envoyer();
       }},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.titre);
    A app;
    c.preparer(app);
    const auto e = EtatPanneau::depuis(*app.modele, "fr");
    if (*c.titre == '\0') {
      EXPECT_EQ(e.message, std::nullopt);
      continue;
    }
    ASSERT_TRUE(e.message.has_value());
    EXPECT_EQ(e.message->titre, c.titre);
    EXPECT_EQ(e.message->ouvrirReglages, c.reglages);
    if (e.message->titre == "Appairage impossible") {
      EXPECT_EQ(e.message->texte, "raison");
    }
  }
}

TEST(Panneau, DerivationDeLEtat) {
  banc::Application app(false);
  auto e = EtatPanneau::depuis(*app.modele, "fr");
  EXPECT_EQ(e.ecran, Ecran::appairage);
  EXPECT_TRUE(e.rechercheEnCours) << "demarrage";
  app.chercheur().demarrer();
  app.navigateurs->dernier().publier({banc::service("Salon"), banc::service("Bureau")});
  app.file->executer();
  e = EtatPanneau::depuis(*app.modele, "fr");
  EXPECT_TRUE(e.rechercheEnCours);
  EXPECT_EQ(e.appareils,
            (std::vector<EtatPanneau::Appareil>{{"Bureau", "Bureau"}, {"Salon", "Salon"}}));
  app.appaire();
  e = EtatPanneau::depuis(*app.modele, "fr");
  EXPECT_EQ(e.ecran, Ecran::pret);
  EXPECT_EQ(e.nomIPhone, "Salon");
  app.envoyer();
  app.file->avancer(3500ms);
  e = EtatPanneau::depuis(*app.modele, "fr");
  EXPECT_EQ(e.ecran, Ecran::envoi);
  EXPECT_TRUE(e.iPhoneRepond) << "muet, mais la connexion n'est pas prête";
  EXPECT_DOUBLE_EQ(e.duree, 3.5);
  app.etatConnexion(EtatConnexion::Cas::prete);
  app.file->avancer(500ms);
  e = EtatPanneau::depuis(*app.modele, "fr");
  EXPECT_TRUE(e.connexionPrete);
  EXPECT_FALSE(e.iPhoneRepond);
  app.reseau(CasNavigateur::echec);
  EXPECT_FALSE(EtatPanneau::depuis(*app.modele, "fr").rechercheEnCours);
}

TEST(Panneau, Actions) {
  banc::Application app;
  auto saisie = std::make_shared<SaisiePanneau>();
  auto bureau = std::make_shared<PlateformeAppEnregistreuse>();
  const auto actions = ActionsPanneau::pour(app.modele, saisie, bureau, *app.file);
  app.navigateurs->dernier().publier({banc::service("Salon")});
  app.file->executer();

  saisie->changerCode("12a34 5");
  EXPECT_EQ(saisie->code(), "1234");
  actions.appairer();
  EXPECT_EQ(saisie->code(), "1234") << "rien de choisi : le code reste";
  saisie->choisir("Parti");
  actions.appairer();
  EXPECT_EQ(saisie->code(), "1234") << "choix qui n'est plus listé";
  EXPECT_TRUE(app.connexions->creees.empty());
  saisie->choisir("Salon");
  actions.appairer();
  EXPECT_EQ(saisie->code(), "") << "vidé avant l'issue";
  EXPECT_FALSE(app.chercheur().appairageEnCours()) << "l'appairage part dans une tâche";
  app.file->executer();
  EXPECT_TRUE(app.chercheur().appairageEnCours());
  EXPECT_EQ(app.connexions->derniere().point, banc::service("Salon").point);
  app.file->avancer(10s);

  actions.envoyer();
  EXPECT_FALSE(app.diffusion().enDiffusion()) << "rien d'appairé";
  app.appaire();
  actions.envoyer();
  EXPECT_TRUE(app.diffusion().enDiffusion());
  actions.envoyer();
  EXPECT_FALSE(app.diffusion().enDiffusion()) << "envoyer pendant l'envoi l'arrête";

  int notifications = 0;
  Abonnement a = app.diffusion().observer([&] { ++notifications; });
  actions.basculerSilence();
  EXPECT_TRUE(app.diffusion().nEntendreQueLIPhone());
  EXPECT_EQ(notifications, 1);
  actions.ouvrirReglages();
  actions.quitter();
  EXPECT_EQ(bureau->reglagesOuverts, 1);
  EXPECT_EQ(bureau->quitterDemande, 1);
}

TEST(Panneau, ReglesDesVues) {
  const std::vector<std::pair<double, std::string>> durees{
      {0, "0:00"},       {59, "0:59"},      {61, "1:01"}, {3599.9, "59:59"},
      {3600, "1:00:00"}, {3661, "1:01:01"}, {-4, "0:00"}, {360'000, "100:00:00"}};
  for (const auto& [s, texte] : durees) EXPECT_EQ(formaterDuree(s), texte) << s;

  const std::vector<std::pair<std::string, std::string>> codes{
      {"12a4", "124"}, {"123456", "1234"}, {" 0042 ", "0042"}, {"١٢٣٤", ""}};
  for (const auto& [saisie, code] : codes) EXPECT_EQ(filtrerCode(saisie), code) << saisie;

  using Liste = std::vector<EtatPanneau::Appareil>;
  const Liste deux{{"a", "A"}, {"b", "B"}};
  EXPECT_EQ(selectionEntretenue(std::nullopt, deux), "a");
  EXPECT_EQ(selectionEntretenue("b", deux), "b");
  EXPECT_EQ(selectionEntretenue("parti", deux), "a");
  EXPECT_EQ(selectionEntretenue("a", Liste{}), std::nullopt);

  EXPECT_TRUE(appairagePossible("a", "1234", false));
  EXPECT_FALSE(appairagePossible("a", "1234", true));
  EXPECT_FALSE(appairagePossible("a", "123", false));
  EXPECT_FALSE(appairagePossible(std::nullopt, "1234", false));
}

TEST(Panneau, LeReleveDuNiveauSuitLEnvoi) {
  banc::Application app;
  auto saisie = std::make_shared<SaisiePanneau>();
  TickerNiveau ticker(*app.file, app.modele->diffusion().shared_from_this(), saisie);
  ticker.relancer();
  app.file->avancer(1s);
  EXPECT_EQ(saisie->niveaux(), HistoriqueNiveau{}) << "hors envoi, rien";

  app.envoyer();
  ticker.relancer();
  static const std::vector<float> plein(640, 0.5F);
  const TamponBloc t{plein.data(), 2560};
  app.audio->livrer({&t, 1});
  app.file->executer();
  constexpr float niveau = 16'383.0F / 32'768.0F;  // 0,5 en 16 bits
  EXPECT_FLOAT_EQ(saisie->niveaux().valeurs.back(), niveau) << "premier relevé tout de suite";
  EXPECT_FLOAT_EQ(saisie->niveaux().valeurs[5], 0.0F);
  app.file->avancer(90ms * 5);
  EXPECT_FLOAT_EQ(saisie->niveaux().valeurs[0], 0.0F);
  EXPECT_FLOAT_EQ(saisie->niveaux().valeurs[1], niveau);
  app.file->avancer(90ms);
  EXPECT_FLOAT_EQ(saisie->niveaux().valeurs[0], niveau);

  // Arrêtés, ils ne liraient plus que 0 : l'historique garde les derniers niveaux.
  app.diffusion().arreter();
  app.file->avancer(1s);
  EXPECT_FLOAT_EQ(saisie->niveaux().valeurs[0], niveau) << "arrêté avec l'envoi";
  app.envoyer();
  ticker.relancer();
  ticker.arreter();
  app.file->avancer(1s);
  EXPECT_FLOAT_EQ(saisie->niveaux().valeurs[0], niveau) << "panneau fermé";
}

}  // namespace
}  // namespace ravlo
