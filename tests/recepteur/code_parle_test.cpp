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
#include <thread>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "programmes/recepteur/code_courant.hpp"
#include "recepteur/limite_code_parle.hpp"
#include "recepteur/voix_en_flux.hpp"
#include "recepteur/voix_melee.hpp"

namespace ravlo {
namespace {

constexpr InstantNs s = 1'000'000'000;

// Une ligne de temps par origine : quelles demandes se disent. Le compte part d'une heure
// quelconque (près du bout de l'horloge compris) et ne bouge que sur une demande dite. Une
// demande refusée « sansCode » n'avait pas de code à donner, « enParole » arrivait pendant la
// voix ; les autres, ni l'un ni l'autre : refusées, le compte ne repart pas de là. Une heure
// qui recule n'ouvre pas la porte.
TEST(LimiteCodeParle, UneFoisToutesLesHuitSecondesQuoiQuOnDemande) {
  using enum LimiteCodeParle::Issue;
  const InstantNs bout = UINT64_MAX - 3 * s;  // l'horloge passe par zéro en chemin
  // clang-format off
  const std::tuple<InstantNs, InstantNs, LimiteCodeParle::Issue> demandes[]{
      {0, 0, dire}, {0, 1, tropTot}, {0, 7 * s, tropTot}, {0, 8 * s - 1, tropTot},
      {0, 8 * s, dire}, {0, 8 * s, tropTot},
      {5 * s, 0, sansCode}, {5 * s, 1, enParole}, {5 * s, 2, dire}, {5 * s, 3 * s, sansCode},
      {5 * s, 8 * s + 2, enParole}, {5 * s, 8 * s + 2, dire},
      {20 * s, 0, dire}, {20 * s, 0 - s, tropTot},
      {bout, 0, dire}, {bout, 5 * s, tropTot}, {bout, 8 * s, dire}};
  // clang-format on
  std::optional<LimiteCodeParle> limite;
  for (InstantNs origine = 1; const auto& [o, a, attendue] : demandes) {
    if (std::exchange(origine, o) != o) limite.emplace();
    EXPECT_EQ(limite->demander(o + a, attendue != sansCode, attendue == enParole), attendue)
        << o << " + " << a;
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
  std::vector<float> tout, bloc(2 * 480);
  for (int b = 0; b < 8; ++b) {
    std::ranges::fill(bloc, 0.8F);
    voix.meler(bloc);
    tout.insert(tout.end(), bloc.begin(), bloc.end());
    EXPECT_EQ(voix.recuperer(), b == 4 ? 1u : 0u) << "bloc " << b;  // jouée jusqu'au bloc 4
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

// Le code laissé pour `ravlo-recepteur --code` n'est cru que privé, bien formé, et tant que
// son récepteur vit ; effacé, il n'est plus là.
TEST(CodeCourant, CruSeulementPriveBienFormeEtDUnRecepteurEnVie) {
  namespace fs = std::filesystem;
  const auto dossier = fs::temp_directory_path() / ("ravlo-code-" + std::to_string(getpid()));
  const auto fichier = dossier / CodeCourant::nomFichier;
  const auto lire = [&] {
    return CodeCourant::lire(dossier, [](long pid) { return pid == 4242; });
  };
  ASSERT_EQ(CodeCourant::ecrire(dossier, "4711", 4242), std::nullopt);
  EXPECT_EQ(lire(), "4711");
  fs::permissions(fichier, fs::perms::others_read, fs::perm_options::add);
  EXPECT_EQ(lire(), std::nullopt) << "lisible par d'autres";
  fs::permissions(fichier, fs::perms::others_read, fs::perm_options::remove);
  for (const char* faux :
       {"4711 4243\n" /* parti */, "47a1 4242\n", "4711\n", "4711 42x2\n", "4711 -4242\n"}) {
    std::ofstream(fichier) << faux;
    EXPECT_EQ(lire(), std::nullopt) << faux;
  }
  ASSERT_EQ(CodeCourant::ecrire(dossier, "0815", 4242), std::nullopt);
  EXPECT_EQ(lire(), "0815");
  CodeCourant::effacer(dossier);
  EXPECT_EQ(lire(), std::nullopt);
  fs::remove_all(dossier);
}

}  // namespace
}  // namespace ravlo
