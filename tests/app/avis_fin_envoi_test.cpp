// SPDX-License-Identifier: MPL-2.0
#include "link/app/avis_fin_envoi.hpp"

#include <gtest/gtest.h>

#include "app/banc_app.hpp"
#include "faux/notifications_enregistreuses.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using A = banc::Application;

// Une bulle quand l'envoi cesse de lui-même, avec le titre que montrerait le panneau ; rien
// quand l'utilisateur l'arrête ou qu'un démarrage qu'il a demandé échoue.
TEST(AvisFinEnvoi, UneBulleSeulementQuandLEnvoiCesseDeLuiMeme) {
  const std::vector<std::tuple<std::string, std::vector<std::string>, std::function<void(A&)>>> cas{
      {"récepteur injoignable",
       {"Le récepteur ne répond plus"},
       [](A& a) {
         a.envoyer();
         a.etatConnexion(EtatConnexion::Cas::attente);
         a.avancerAvecDuSon(31s);
       }},
      {"capture muette, une fois",
       {"Cet ordinateur ne livre aucun son"},
       [](A& a) {
         a.envoyer();
         a.etatConnexion(EtatConnexion::Cas::prete);
         a.file->avancer(10s);
       }},
      {"fin par le récepteur, deux envois",
       {"Le récepteur a arrêté la lecture", "Le récepteur a arrêté la lecture"},
       [](A& a) {
         for (int i = 0; i < 2; ++i) {
           a.envoyer();
           a.modele->changerDeRecepteur();  // l'utilisateur : pas de bulle
           a.chercheur().changerResultat({ChercheurRavlo::Resultat::Cas::finParRecepteur, {}});
         }
       }},
      {"arrêt demandé",
       {},
       [](A& a) {
         a.envoyer();
         a.diffusion().arreter();
         a.modele->changerDeRecepteur();
       }},
      {"démarrage refusé",
       {},
       [](A& a) {
         a.audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::serveurInjoignable, -1};
         a.envoyer();
       }},
  };
  for (const auto& [nom, titres, jouer] : cas) {
    SCOPED_TRACE(nom);
    A app;
    auto bulles = std::make_shared<NotificationsEnregistreuses>();
    const AvisFinEnvoi avis(app.modele, bulles, [] { return std::string("fr"); });
    jouer(app);
    app.file->executer();
    std::vector<std::string> vus;
    for (const auto& [titre, texte] : bulles->bulles) {
      vus.push_back(titre);
      EXPECT_FALSE(texte.empty()) << titre;
    }
    EXPECT_EQ(vus, titres);
  }
}

}  // namespace
}  // namespace ravlo
