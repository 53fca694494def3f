#include "protocol/lecture_tiree.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "temps_reel/compteur_allocations.hpp"

namespace ravlo {
namespace {

// Chaque chemin du rendu, sous le compteur : amorçage non atteint, amorçage avec rognage,
// lecture, trou, réamorçage, contrôle du rattrapage avec rognage, bloc trop grand, sans
// heure. Les blocs poussés sont préparés hors du compteur.
TEST(TempsReel, TirerNAlloueRien) {
  LectureTiree lecture(48'000, 4800);
  std::vector<float> gauche(10'000), droite(10'000);
  const Octets paquet(1280, 0x11);
  auto pousser = [&](int paquets) {
    for (int i = 0; i < paquets; ++i) lecture.pousser(paquet, 1'000'000'000ull + 6'666'667ull * i);
  };
  auto tirer = [&](std::int64_t n, std::optional<InstantNs> heure) {
    test::CompteurAllocations compteur;
    const std::int64_t k = lecture.tirer(n, gauche, droite, heure);
    EXPECT_EQ(compteur.allocations(), 0u) << "rendu de " << n;
    return k;
  };

  pousser(10);
  EXPECT_EQ(tirer(512, 1), 0);
  pousser(30);
  EXPECT_EQ(tirer(512, 2), 512);
  EXPECT_LT(tirer(10'000, 3), 10'000);  // trou
  pousser(16);
  EXPECT_EQ(tirer(512, 4), 512);  // réamorçage : le rattrapage commence
  for (int rendu = 0; rendu < 47; ++rendu) {
    pousser(2);
    EXPECT_EQ(tirer(512, std::nullopt), 512);
  }
  EXPECT_GT(lecture.etat().tramesJetees, 0);
  {
    test::CompteurAllocations compteur;
    (void)lecture.niveauDuBloc();
    EXPECT_EQ(compteur.allocations(), 0u);
  }
}

}  // namespace
}  // namespace ravlo
