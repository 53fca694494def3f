#include "simulation/simulation_reception.hpp"

#include <gtest/gtest.h>

namespace ravlo::simulation {
namespace {

// Réseau propre (gigue de 2 ms au 99ᵉ centile), horloge du récepteur en retard de 100 ppm,
// rendus de 512 trames. La correction de vitesse a une constante de temps de 25 s : la
// mesurer sur les 90 s qui suivent la première minute.
Scenario propre(double dureeS) {
  Scenario s;
  s.nom = "propre";
  s.graine = 7;
  s.dureeS = dureeS;
  s.decalagePPM = 100.0;
  s.blocTrames = 512;
  s.aller.etalementMs = 2.0;
  s.retour = s.aller;
  return s;
}

TEST(SimulationReception, ReseauPropreSansTrouEtVitesseSurLaDerive) {
  const Resultat r = SimulationReception(propre(150.0)).executer();
  ASSERT_TRUE(r.debutLectureS.has_value());
  EXPECT_LT(*r.debutLectureS, 0.2);
  EXPECT_EQ(r.trous, 0);
  EXPECT_EQ(r.tramesJetees, 0);
  EXPECT_EQ(r.paquetsRefuses, 0);
  ASSERT_TRUE(r.vitesseMoyenneApres60sPPM.has_value());
  EXPECT_NEAR(*r.vitesseMoyenneApres60sPPM, r.vitesseVraiePPM, 20.0);
  // La cible (bloc 10,7 ms + gigue + 35 ms) plus le réseau et la mise en paquet.
  ASSERT_TRUE(r.cibleMs.has_value());
  EXPECT_GT(r.latenceMoyenneMs, *r.cibleMs);
  EXPECT_LT(r.latenceMoyenneMs, *r.cibleMs + 20.0);
  EXPECT_LT(r.latenceP99Ms - r.latenceMoyenneMs, 5.0);
  // L'estimation du récepteur, par l'échange d'heures, rejoint la vérité.
  ASSERT_TRUE(r.latenceEstimeeMs.has_value());
  EXPECT_NEAR(*r.latenceEstimeeMs, r.latenceMoyenneMs, 3.0);
}

TEST(SimulationReception, MemeGraineMemeResultat) {
  Scenario s = propre(20.0);
  s.aller.perte = 0.02;
  s.aller.inversion = 0.01;
  const Resultat a = SimulationReception(s).executer();
  const Resultat b = SimulationReception(s).executer();
  EXPECT_GT(a.paquetsPerdus, 0);
  EXPECT_EQ(a.paquetsPerdus, b.paquetsPerdus);
  EXPECT_EQ(a.paquetsHorsOrdre, b.paquetsHorsOrdre);
  EXPECT_EQ(a.trous, b.trous);
  EXPECT_EQ(a.latenceMoyenneMs, b.latenceMoyenneMs);
  s.graine = 8;
  EXPECT_NE(SimulationReception(s).executer().latenceMoyenneMs, a.latenceMoyenneMs);
}

}  // namespace
}  // namespace ravlo::simulation
