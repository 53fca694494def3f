// SPDX-License-Identifier: MPL-2.0
// Le code dit à voix haute, sans son ni fil : la borne des demandes en temps simulé, la voix
// mise au format du flux et mêlée par le rendu (la demande lue par le récepteur :
// recepteur_test.cpp ; le programme qui parle pour de vrai : ravlo_recepteur_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <sstream>
#include <thread>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "programmes/recepteur/code_courant.hpp"
#include "recepteur/limite_code_parle.hpp"
#include "recepteur/options_recepteur.hpp"
#include "recepteur/voix_en_flux.hpp"
#include "recepteur/voix_melee.hpp"

namespace ravlo {
namespace {

constexpr InstantNs s = 1'000'000'000;

// Une ligne de temps : quelles demandes se disent. Le compte part d'une heure quelconque
// (près du bout de l'horloge compris) et ne bouge que sur une demande dite.
TEST(LimiteCodeParle, UneFoisToutesLesHuitSecondesQuoiQuOnDemande) {
  using I = LimiteCodeParle::Issue;
  struct Demande {
    InstantNs a;
    bool code;
    bool parole;
    I attendue;
  };
  const InstantNs bout = UINT64_MAX - 3 * s;  // l'horloge passe par zéro en chemin
  const std::vector<std::pair<InstantNs, std::vector<Demande>>> lignes{
      {0,
       {{0, true, false, I::dire},
        {1, true, false, I::tropTot},
        {7 * s, true, false, I::tropTot},
        {8 * s - 1, true, false, I::tropTot},
        {8 * s, true, false, I::dire},
        {8 * s, true, false, I::tropTot}}},
      // Sans code, ou pendant la voix : refusée, et le compte ne repart pas de là.
      {5 * s,
       {{0, false, false, I::sansCode},
        {1, true, true, I::enParole},
        {2, true, false, I::dire},
        {3 * s, false, false, I::sansCode},
        {8 * s + 2, true, true, I::enParole},
        {8 * s + 2, true, false, I::dire}}},
      // Une heure qui recule n'ouvre pas la porte.
      {20 * s, {{0, true, false, I::dire}, {0 - s, true, false, I::tropTot}}},
      {bout,
       {{0, true, false, I::dire},
        {5 * s, true, false, I::tropTot},
        {8 * s, true, false, I::dire}}},
  };
  for (const auto& [origine, demandes] : lignes) {
    LimiteCodeParle limite;
    for (const auto& d : demandes) {
      SCOPED_TRACE(std::to_string(origine) + " + " + std::to_string(d.a));
      EXPECT_EQ(limite.demander(origine + d.a, d.code, d.parole), d.attendue);
    }
  }
}

// Un sinus à la fréquence d'une synthèse vocale garde sa hauteur et sa durée à 48 kHz, les
// deux canaux égaux.
TEST(VoixEnFlux, GardeHauteurEtDureeSurDeuxCanaux) {
  for (const int frequence : {16'000, 22'050, 48'000}) {
    SCOPED_TRACE(frequence);
    std::vector<std::int16_t> mono(static_cast<std::size_t>(frequence / 2));  // 0,5 s
    for (std::size_t i = 0; i < mono.size(); ++i)
      mono[i] = static_cast<std::int16_t>(std::lround(
          20'000 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i) / frequence)));
    const auto flux = voixEnFlux(mono, frequence);
    ASSERT_EQ(flux.size(), 2u * 24'000);
    int passages = 0;
    for (std::size_t t = 1; t < flux.size() / 2; ++t) {
      EXPECT_EQ(flux[2 * t], flux[2 * t + 1]);
      if ((flux[2 * t - 2] < 0) != (flux[2 * t] < 0)) ++passages;
    }
    EXPECT_NEAR(passages, 440, 3) << "440 Hz pendant 0,5 s : 440 passages par zéro";
    EXPECT_NEAR(*std::ranges::max_element(flux), 20'000, 200);
  }
  EXPECT_TRUE(voixEnFlux(std::vector<std::int16_t>(100, 1), 0).empty());
}

// La voix mêlée par blocs de rendu : jouée une fois, entière, par-dessus la musique baissée de
// moitié ; la somme bornée à ±1 ; rendue au fil principal une fois jouée, la musique remontée.
TEST(VoixMelee, JoueeUneFoisParDessusLaMusiqueBaissee) {
  constexpr std::size_t trames = 2'000;
  constexpr std::int16_t fort = 29'490;  // 0,9 de la pleine échelle
  VoixMelee voix;
  auto prete = std::make_unique<VoixPrete>();
  prete->entrelace.assign(2 * trames, fort);
  ASSERT_TRUE(voix.confier(std::move(prete)));
  std::vector<float> tout;
  std::vector<float> bloc(2 * 480);
  for (int b = 0; b < 8; ++b) {
    std::ranges::fill(bloc, 0.8F);
    voix.meler(bloc);
    tout.insert(tout.end(), bloc.begin(), bloc.end());
    if (b < 4) {
      EXPECT_EQ(voix.recuperer(), 0u) << "encore jouée au bloc " << b;
    } else if (b == 4) {
      EXPECT_EQ(voix.recuperer(), 1u);
    }
  }
  // Au-dessus de 1 à la somme : borné, jamais replié.
  for (std::size_t t = 0; t < trames; ++t) EXPECT_EQ(tout[2 * t], 1.0F) << t;
  // Après la voix, la musique seule, à mi-hauteur puis remontée en 10 ms.
  EXPECT_NEAR(tout[2 * trames], 0.4F, 0.01F);
  EXPECT_LT(tout[2 * (trames + 100)], 0.8F);
  EXPECT_FLOAT_EQ(tout[2 * (trames + VoixMelee::tramesFondu)], 0.8F);
  EXPECT_FLOAT_EQ(tout.back(), 0.8F);

  // Une voix faible sur du silence s'entend telle quelle, puis le silence.
  auto douce = std::make_unique<VoixPrete>();
  douce->entrelace = {3'277, -3'277, 3'277, -3'277};
  ASSERT_TRUE(voix.confier(std::move(douce)));
  std::vector<float> court(8, 0.0F);
  voix.meler(court);
  EXPECT_NEAR(court[0], 0.1F, 1e-4F);
  EXPECT_NEAR(court[1], -0.1F, 1e-4F);
  EXPECT_EQ(court[4], 0.0F);
  EXPECT_EQ(voix.recuperer(), 1u);
}

// Le fil principal confie des voix et libère les jouées pendant que le rendu mêle sans arrêt :
// chaque voix sort une fois, entière, et toutes reviennent au fil principal.
TEST(ConcurrenceVoixMelee, ChaqueVoixJoueeUneFoisPuisRendue) {
  constexpr std::size_t voixAJouer = 200;
  constexpr std::int64_t echantillonsParVoix = 2 * 100;
  VoixMelee voix;
  std::atomic<bool> fini{false};
  std::int64_t entendus = 0;  // lu après `join`
  std::thread rendu([&] {
    std::vector<float> bloc(2 * 64);
    while (!fini.load()) {
      std::ranges::fill(bloc, 0.0F);
      voix.meler(bloc);
      entendus += std::ranges::count_if(bloc, [](float x) { return x != 0.0F; });
    }
  });
  std::size_t confiees = 0;
  std::size_t rendues = 0;
  const auto borne = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (rendues < voixAJouer && std::chrono::steady_clock::now() < borne) {
    if (confiees < voixAJouer) {
      auto prete = std::make_unique<VoixPrete>();
      prete->entrelace.assign(echantillonsParVoix, 1'000);
      if (voix.confier(std::move(prete))) ++confiees;
    }
    rendues += voix.recuperer();
  }
  fini = true;
  rendu.join();
  EXPECT_EQ(rendues, voixAJouer);
  EXPECT_EQ(entendus, static_cast<std::int64_t>(voixAJouer) * echantillonsParVoix);
}

// `--code` sans valeur (en dernier ou devant une autre option) demande le code courant ; suivi
// d'une valeur, il fixe le code comme toujours. `--sans-code-parle` coupe la voix.
TEST(OptionsRecepteur, CodeSansValeurEtSansCodeParle) {
  struct Cas {
    std::vector<const char*> arguments;
    bool afficher;
    const char* code;  // nul : aucun
    bool parle;
  };
  const Cas cas[]{
      {{"--code"}, true, nullptr, true},
      {{"--code", "--etat", "/tmp/x"}, true, nullptr, true},
      {{"--etat", "/tmp/x", "--code"}, true, nullptr, true},
      {{"--code", "1234"}, false, "1234", true},
      {{"--code", "-"}, false, "0815", true},
      {{"--sans-code-parle", "--code", "4711"}, false, "4711", false},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.arguments.size());
    std::istringstream entree("0815\n");
    const auto o = OptionsRecepteur::lire(c.arguments, "fr", &entree);
    ASSERT_TRUE(o.has_value()) << o.error();
    EXPECT_EQ(o->afficherCode, c.afficher);
    EXPECT_EQ(o->code ? o->code->chiffres() : "", c.code ? c.code : "");
    EXPECT_EQ(o->codeParle, c.parle);
  }
}

// Le code laissé pour `ravlo-recepteur --code` n'est cru que privé, bien formé, et tant que
// son récepteur vit ; effacé, il n'est plus là.
TEST(CodeCourant, CruSeulementPriveBienFormeEtDUnRecepteurEnVie) {
  const auto dossier =
      std::filesystem::temp_directory_path() / ("ravlo-code-" + std::to_string(getpid()));
  const auto fichier = dossier / CodeCourant::nomFichier;
  const auto vivant = [](long pid) { return pid == 4242; };
  struct Cas {
    const char* contenu;  // nul : écrit par `ecrire` pour 4242
    std::filesystem::perms droits;
    std::optional<std::string> lu;
  };
  using Droit = std::filesystem::perms;
  const Cas cas[]{
      {nullptr, Droit::owner_read | Droit::owner_write, "4711"},
      {"4711 4243\n", Droit::owner_read | Droit::owner_write, std::nullopt},  // parti
      {"4711 4242\n", Droit::owner_read | Droit::owner_write | Droit::others_read, std::nullopt},
      {"47a1 4242\n", Droit::owner_read | Droit::owner_write, std::nullopt},
      {"4711\n", Droit::owner_read | Droit::owner_write, std::nullopt},
      {"4711 42x2\n", Droit::owner_read | Droit::owner_write, std::nullopt},
      {"4711 -4242\n", Droit::owner_read | Droit::owner_write, std::nullopt},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.contenu ? c.contenu : "écrit");
    if (c.contenu == nullptr) {
      ASSERT_EQ(CodeCourant::ecrire(dossier, "4711", 4242), std::nullopt);
    } else {
      std::ofstream(fichier) << c.contenu;
    }
    std::filesystem::permissions(fichier, c.droits);
    EXPECT_EQ(CodeCourant::lire(dossier, vivant), c.lu);
  }
  ASSERT_EQ(CodeCourant::ecrire(dossier, "0815", 4242), std::nullopt);
  EXPECT_EQ(CodeCourant::lire(dossier, vivant), "0815");
  CodeCourant::effacer(dossier);
  EXPECT_EQ(CodeCourant::lire(dossier, vivant), std::nullopt);
  std::filesystem::remove_all(dossier);
}

}  // namespace
}  // namespace ravlo
