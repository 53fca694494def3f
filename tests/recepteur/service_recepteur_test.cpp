// Le récepteur habillé, sur de vraies sockets mais face à une sortie et un annonceur factices.
#include "programmes/recepteur/service_recepteur.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "faux/attente.hpp"
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

// L'annonce qui rappelle avant de rendre la main, deux fois indisponible puis renommée ; une
// sortie qui rend dès son démarrage et sur son fil, dont le son se coupe puis qui tombe en
// panne : une seule phrase d'indisponibilité, le nom retenu, la carte qui suit le son coupé,
// la panne qui finit la course avec 1 et sa raison, l'annonce retirée.
TEST(ServiceRecepteur, AnnonceCarteEtPanneParLesFaux) {
  OptionsRecepteur options;
  options.nom = "Salon";
  options.code = CodeAppairage::depuisSaisie("1234");
  options.secondes = 10;
  auto sortie = std::make_unique<faux::SortieFactice>();
  auto* s = sortie.get();
  auto annonceur = std::make_unique<faux::AnnonceurFactice>(
      std::vector<EtatAnnonce>{{EtatAnnonce::Cas::indisponible, "Salon", "a"},
                               {EtatAnnonce::Cas::indisponible, "Salon", "b"},
                               {EtatAnnonce::Cas::annoncee, "Salon #2", ""}});
  auto* a = annonceur.get();
  std::FILE* messages = std::tmpfile();
  std::FILE* erreurs = std::tmpfile();
  ServiceRecepteur service(options, "fr",
                           {std::move(sortie), std::move(annonceur), nullptr, messages, erreurs});
  // Chaque pas attend que le suivi (une fois par seconde) ait relu le son coupé.
  std::thread scenario([s] {
    essai::attendreQue([s] { return s->questionsSonCoupe > 0; });
    s->coupe = true;
    const int vues = s->questionsSonCoupe;
    essai::attendreQue([&] { return s->questionsSonCoupe > vues; });
    s->enPanne = "disque plein";
  });
  EXPECT_EQ(service.executer(), 1);
  scenario.join();
  const std::string dit = relire(messages);

  ASSERT_EQ(a->demandes.size(), 1u);
  EXPECT_EQ(a->demandes[0].nom, "Salon");
  EXPECT_NE(dit.find("Port : " + std::to_string(a->demandes[0].port) + "\n"), std::string::npos);
  EXPECT_EQ(a->retraits, 1);
  EXPECT_EQ(compter(dit, "Pas d'annonce"), 1u) << dit;
  EXPECT_EQ(compter(dit, "« Salon #2 »"), 1u) << dit;
  EXPECT_EQ(compter(dit, "Code : 1234\n"), 1u) << dit;
  EXPECT_EQ(compter(dit, "Carte : son coupé non, en pause oui."), 1u) << dit;
  EXPECT_EQ(compter(dit, "Carte : son coupé oui, en pause oui."), 1u) << dit;
  EXPECT_EQ(relire(erreurs), "La lecture s'est arrêtée : disque plein.\n");
  EXPECT_GT(s->rendus.load(), 10);
}

}  // namespace
}  // namespace ravlo
