// SPDX-License-Identifier: MPL-2.0
// Le récepteur habillé, sur de vraies sockets mais face à une sortie et un annonceur factices
// (ses datagrammes, en lots sur la vraie socket : ravlo_recepteur_test.cpp).
#include "programmes/recepteur/service_recepteur.hpp"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "faux/attente.hpp"
#include "faux/avis_enregistreur.hpp"
#include "faux/recepteur_factice.hpp"

namespace ravlo {
namespace {

std::string relire(std::FILE* f) {
  std::string texte;
  std::rewind(f);
  for (int c = 0; (c = std::fgetc(f)) != EOF;) texte += static_cast<char>(c);
  std::fclose(f);
  return texte;
}

// L'annonce qui rappelle avant de rendre la main, deux fois indisponible puis renommée : une
// seule phrase d'indisponibilité, le nom retenu, l'annonce retirée à la fin. La sortie rend dès
// son démarrage et sur son fil ; son son se coupe : la carte suit. Le serveur de son part en
// pleine lecture et refuse les essais suivants un temps : le programme ne s'arrête pas, le dit
// en français, réessaie de plus en plus rarement, puis rejoue dès que le serveur accepte ; le
// texte brut du serveur ne va qu'aux statistiques. Enfin une panne sans retour (disque plein)
// finit la course avec 1 et sa raison ; le gestionnaire de services apprend qu'il attend la
// sortie, et l'identifiant gardé s'annonce (le reste de ce qu'il apprend : face au vrai
// programme, ravlo_recepteur_test.cpp).
TEST(ServiceRecepteur, AnnonceCarteRepriseEtPanneParLesFaux) {
  const auto stats = std::filesystem::temp_directory_path() /
                     ("ravlo-service-" + std::to_string(getpid()) + ".json");
  OptionsRecepteur options;
  options.nom = "Salon";
  options.code = CodeAppairage::depuisSaisie("1234");
  options.secondes = 30;  // la panne finit la course bien avant
  options.stats = stats;
  options.ligneEtat = true;
  auto sortie = std::make_unique<faux::SortieFactice>();
  auto* s = sortie.get();
  auto annonceur = std::make_unique<faux::AnnonceurFactice>();
  annonceur->script = {{EtatAnnonce::Cas::indisponible, "Salon", "a"},
                       {EtatAnnonce::Cas::indisponible, "Salon", "b"},
                       {EtatAnnonce::Cas::annoncee, "Salon #2", ""}};
  auto* a = annonceur.get();
  std::FILE* messages = std::tmpfile();
  std::FILE* erreurs = std::tmpfile();
  auto avis = std::make_unique<faux::AvisEnregistreur>();
  const auto* dits = &avis->dits;
  ServiceRecepteur::Plateforme plateforme{std::move(sortie), std::move(annonceur), nullptr,
                                          messages, erreurs};
  plateforme.etat = std::filesystem::path(stats).replace_extension(".etat");
  plateforme.avis = std::move(avis);
  ServiceRecepteur service(options, "fr", std::move(plateforme));
  static const ErreurSortie perdu{ErreurSortie::Cas::serveurPerdu, "Connection terminated"};
  static const ErreurSortie refuse{ErreurSortie::Cas::serveurInjoignable, "Connection refused"};
  static const ErreurSortie disquePlein{ErreurSortie::Cas::fichier, "No space left on device"};
  bool scenarioTenu = false;
  // Chaque pas attend que le suivi (une fois par seconde) ait relu le son coupé.
  std::thread scenario([&] {
    scenarioTenu = essai::attendreQue([s] { return s->questionsSonCoupe > 0 && s->rendus > 10; });
    s->coupe = true;
    const int vues = s->questionsSonCoupe;
    scenarioTenu = scenarioTenu && essai::attendreQue([&] { return s->questionsSonCoupe > vues; });
    s->refus = &refuse;
    s->enPanne = &perdu;
    // Perdue au plus tard au relevé suivant, puis deux essais refusés (0,5 s et 1 s après).
    scenarioTenu = scenarioTenu && essai::attendreQue([&] { return s->demarrages >= 3; });
    s->refus = nullptr;
    const std::int64_t avant = s->rendus;
    scenarioTenu = scenarioTenu && essai::attendreQue([&] { return s->rendus > avant + 10; });
    s->enPanne = &disquePlein;
  });
  EXPECT_EQ(service.executer(), 1);
  scenario.join();
  EXPECT_TRUE(scenarioTenu);
  const std::string dit = relire(messages);

  // L'identifiant gardé s'annonce, avec la reprise qu'il permet.
  std::string identifiant;
  std::getline(std::ifstream(std::filesystem::path(stats).replace_extension(".etat/identifiant")),
               identifiant);
  std::filesystem::remove_all(std::filesystem::path(stats).replace_extension(".etat"));
  EXPECT_EQ(a->dernierTxt, (std::vector<std::string>{"id=" + identifiant, "reprise=1"}));
  EXPECT_EQ(identifiant.size(), 32u);
  EXPECT_EQ(a->noms, std::vector<std::string>{"Salon"});
  EXPECT_EQ(a->retraits, 1);
  for (const char* une :
       {"Code : 1234\n", "Pas d'annonce", "« Salon #2 »", "Carte : son coupé non, en pause oui.",
        "Carte : son coupé oui, en pause oui.",
        "La lecture reprend : la sortie de son répond de nouveau.\n"})
    EXPECT_TRUE(dit.find(une) != std::string::npos && dit.find(une) == dit.rfind(une))
        << "une fois : " << une << " dans " << dit;
  EXPECT_NE(dit.find("sans sortie de son"), std::string::npos) << "sur la ligne d'état : " << dit;
  EXPECT_EQ(dit.find("Connection"), std::string::npos) << "le texte brut du serveur : " << dit;
  EXPECT_EQ(relire(erreurs),
            "La lecture s'est arrêtée : le serveur de son s'est arrêté ou a redémarré. Elle "
            "reprendra quand la sortie de son répondra.\n"
            "La lecture s'est arrêtée : le fichier WAV ne s'écrit plus.\n");
  EXPECT_GE(s->demarrages.load(), 4) << "le premier, deux refus, la reprise";
  const auto j = nlohmann::json::parse(std::ifstream(stats), nullptr, false);
  std::filesystem::remove(stats);
  EXPECT_EQ(j["reprisesSortie"], 1) << j.dump();
  EXPECT_EQ(j["erreurSortie"], "No space left on device") << j.dump();
  EXPECT_EQ(std::ranges::count(*dits, "STATUS=Attend la sortie de son"), 1);
}

}  // namespace
}  // namespace ravlo
