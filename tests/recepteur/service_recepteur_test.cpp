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
#include <sstream>
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

std::size_t compter(const std::string& texte, const std::string& motif) {
  std::size_t n = 0;
  for (auto i = texte.find(motif); i != std::string::npos; i = texte.find(motif, i + 1)) ++n;
  return n;
}

// Le code hors de la ligne de commande, que `ps` montre à tous : l'entrée standard
// (`--code -`) ou RAVLO_CODE, que `--code` emporte.
TEST(OptionsRecepteur, LeCodeHorsDeLaLigneDeCommande) {
  struct Cas {
    std::vector<const char*> arguments;
    const char* entree;
    const char* environnement;
    const char* code;  // nul : aucun ; "!" : refusé
  };
  const Cas cas[]{
      {{"--code", "-"}, "0815\n", nullptr, "0815"},
      {{"--code", "-"}, "0815\r\n4711\n", "1234", "0815"},
      {{"--code", "-"}, "", nullptr, "!"},
      {{"--code", "-"}, "08 15\n", nullptr, "!"},
      {{}, "", "4711", "4711"},
      {{}, "", "", nullptr},
      {{}, "", "47a1", "!"},
      {{"--code", "1234"}, "", "4711", "1234"},
  };
  for (const auto& c : cas) {
    std::istringstream entree(c.entree);
    const auto o = OptionsRecepteur::lire(c.arguments, "fr", &entree, c.environnement);
    SCOPED_TRACE(std::string(c.entree) + " / " + (c.environnement ? c.environnement : "-"));
    if (c.code != nullptr && std::string_view(c.code) == "!") {
      EXPECT_FALSE(o.has_value());
      continue;
    }
    ASSERT_TRUE(o.has_value()) << o.error();
    EXPECT_EQ(o->code ? o->code->chiffres() : "", c.code ? c.code : "");
  }
}

// `alsa:` devant le nom choisit ALSA ; le nom d'une sortie PulseAudio qui commence par
// « alsa_ » reste une sortie du serveur de son.
TEST(OptionsRecepteur, SortieAlsaOuServeurDeSon) {
  struct Cas {
    std::vector<const char*> arguments;
    std::optional<std::string> alsa;
    bool refuse = false;
  };
  const Cas cas[]{
      {{"--sortie", "alsa:hw:0,0"}, "hw:0,0"},
      {{"--sortie", "alsa:default"}, "default"},
      {{"--sortie", "alsa_output.pci-0000_00_1f.3.analog-stereo"}, std::nullopt},
      {{}, std::nullopt},
      {{"--sortie", "alsa:"}, std::nullopt, true},
      {{"--sortie", "alsa:default", "--wav", "x.wav"}, std::nullopt, true},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.arguments.empty() ? "-" : c.arguments[1]);
    const auto o = OptionsRecepteur::lire(c.arguments, "fr");
    ASSERT_EQ(!o.has_value(), c.refuse);
    if (o) {
      EXPECT_EQ(o->peripheriqueAlsa(), c.alsa);
    }
  }
}

// L'annonce qui rappelle avant de rendre la main, deux fois indisponible puis renommée : une
// seule phrase d'indisponibilité, le nom retenu, l'annonce retirée à la fin. La sortie rend dès
// son démarrage et sur son fil ; son son se coupe : la carte suit. Le serveur de son part en
// pleine lecture et refuse les essais suivants un temps : le programme ne s'arrête pas, le dit
// en français, réessaie de plus en plus rarement, puis rejoue dès que le serveur accepte ; le
// texte brut du serveur ne va qu'aux statistiques. Enfin une panne sans retour (disque plein)
// finit la course avec 1 et sa raison. Le gestionnaire de services apprend qu'il est prêt
// quand l'annonce a répondu, son état quand il change, et l'arrêt.
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
  auto annonceur = std::make_unique<faux::AnnonceurFactice>(
      std::vector<EtatAnnonce>{{EtatAnnonce::Cas::indisponible, "Salon", "a"},
                               {EtatAnnonce::Cas::indisponible, "Salon", "b"},
                               {EtatAnnonce::Cas::annoncee, "Salon #2", ""}});
  auto* a = annonceur.get();
  std::FILE* messages = std::tmpfile();
  std::FILE* erreurs = std::tmpfile();
  auto avis = std::make_unique<faux::AvisEnregistreur>(std::chrono::milliseconds(100));
  const auto* dits = &avis->dits;
  ServiceRecepteur::Plateforme plateforme{std::move(sortie), std::move(annonceur), nullptr,
                                          messages, erreurs};
  const auto etat = std::filesystem::path(stats).replace_extension(".etat");
  plateforme.etat = etat;
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

  ASSERT_EQ(a->demandes.size(), 1u);
  EXPECT_EQ(a->demandes[0].nom, "Salon");
  // L'identifiant gardé s'annonce, avec la reprise qu'il permet.
  std::string identifiant;
  std::getline(std::ifstream(etat / "identifiant"), identifiant);
  std::filesystem::remove_all(etat);
  EXPECT_EQ(a->demandes[0].txt, (std::vector<std::string>{"id=" + identifiant, "reprise=1"}));
  EXPECT_EQ(identifiant.size(), 32u);
  EXPECT_NE(dit.find("Port : " + std::to_string(a->demandes[0].port) + "\n"), std::string::npos);
  EXPECT_EQ(a->retraits, 1);
  EXPECT_EQ(compter(dit, "Pas d'annonce"), 1u) << dit;
  EXPECT_EQ(compter(dit, "« Salon #2 »"), 1u) << dit;
  EXPECT_EQ(compter(dit, "Code : 1234\n"), 1u) << dit;
  EXPECT_EQ(compter(dit, "Carte : son coupé non, en pause oui."), 1u) << dit;
  EXPECT_EQ(compter(dit, "Carte : son coupé oui, en pause oui."), 1u) << dit;
  EXPECT_EQ(relire(erreurs),
            "La lecture s'est arrêtée : le serveur de son s'est arrêté ou a redémarré. Elle "
            "reprendra quand la sortie de son répondra.\n"
            "La lecture s'est arrêtée : le fichier WAV ne s'écrit plus.\n");
  EXPECT_EQ(compter(dit, "La lecture reprend : la sortie de son répond de nouveau.\n"), 1u) << dit;
  EXPECT_GE(compter(dit, "sans sortie de son"), 1u) << "sur la ligne d'état : " << dit;
  EXPECT_EQ(dit.find("Connection"), std::string::npos) << dit;
  EXPECT_GE(s->demarrages.load(), 4) << "le premier, deux refus, la reprise";
  const auto j = nlohmann::json::parse(std::ifstream(stats), nullptr, false);
  std::filesystem::remove(stats);
  EXPECT_EQ(j["reprisesSortie"], 1) << j.dump();
  EXPECT_EQ(j["erreurSortie"], "No space left on device") << j.dump();

  std::vector<std::string> sansVeille;
  std::ranges::copy_if(*dits, std::back_inserter(sansVeille),
                       [](const std::string& d) { return d != "WATCHDOG"; });
  ASSERT_GE(sansVeille.size(), 4u);
  EXPECT_EQ(sansVeille.front(), "READY");
  EXPECT_EQ(sansVeille[1], "STATUS=Attend un ordinateur — code affiché");
  EXPECT_EQ(sansVeille.back(), "STOPPING");
  EXPECT_NE(std::ranges::find(sansVeille, "STATUS=Attend la sortie de son"), sansVeille.end());
  const auto repete = std::ranges::adjacent_find(sansVeille);
  EXPECT_EQ(repete, sansVeille.end()) << "redit : " << *repete;
  EXPECT_GE(std::ranges::count(*dits, "WATCHDOG"), 10) << "7 s de course, veille à 100 ms";
}

}  // namespace
}  // namespace ravlo
