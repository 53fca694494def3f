#include "recepteur/rendu_lecture.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "temps_reel/compteur_allocations.hpp"

namespace ravlo {
namespace {

// Le rendu du récepteur, rééchantillonné à toutes les vitesses du pilote ou non, n'alloue
// rien : amorçage, lecture, trou compris.
TEST(TempsReel, RenduDuRecepteurNAlloueRien) {
  for (const bool reechantillonner : {true, false}) {
    auto lecture = std::make_shared<LectureTiree>(48'000, 960);
    RenduLecture rendu(lecture, reechantillonner);
    std::vector<float> bloc(2 * 441);
    const Octets paquet(1280, 0x22);
    InstantNs heure = 0;
    for (const double ppm : {0.0, 1000.0, -1000.0, 250.0}) {
      rendu.changerVitesse(ppm);
      for (int i = 0; i < 30; ++i) {
        if (i < 25) lecture->pousser(paquet, heure);
        heure += 6'666'667;
        test::CompteurAllocations compteur;
        rendu.rendre(bloc, heure);
        EXPECT_EQ(compteur.allocations(), 0u) << ppm << " ppm";
      }
    }
    EXPECT_GT(lecture->etat().rendus, 0);
    EXPECT_GT(lecture->etat().trous, 0);
  }
}

}  // namespace
}  // namespace ravlo
