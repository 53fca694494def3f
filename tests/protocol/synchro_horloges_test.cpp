#include "protocol/synchro_horloges.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

constexpr std::uint64_t s = 1'000'000'000;

MessageHorloge reponse(InstantNs t1, InstantNs t2, InstantNs t3) {
  return MessageHorloge::question(t1).reponse(t2, t3);
}

// Réponse arrivée à `t4` avec l'aller-retour et le décalage voulus (pair = local + décalage),
// le pair gardant la question 100 ns. Exact quand décalage ± allerRetour/2 sont pairs.
bool echange(SynchroHorloges& synchro, InstantNs t4, std::uint64_t allerRetour,
             std::int64_t decalage) {
  const InstantNs t1 = t4 - allerRetour - 100;
  const InstantNs t2 = t1 + allerRetour / 2 + static_cast<std::uint64_t>(decalage);
  return synchro.enregistrer(reponse(t1, t2, t2 + 100), t4);
}

TEST(SynchroHorloges, ExempleAQuatreInstants) {
  SynchroHorloges synchro;
  EXPECT_EQ(synchro.decalageNs(0), std::nullopt);
  ASSERT_TRUE(synchro.enregistrer(reponse(1'000, 5'000'500, 5'000'600), 1'300));
  EXPECT_EQ(synchro.allerRetourNs(1'300), 200u);
  EXPECT_EQ(synchro.decalageNs(1'300), 4'999'400);
  EXPECT_EQ(synchro.heureLocale(5'000'600, 1'300), 1'200u);
  EXPECT_EQ(synchro.echanges(), (std::vector<SynchroHorloges::Echange>{{4'999'400, 200, 1'300}}));
  EXPECT_EQ(synchro.rejets(), 0);
}

TEST(SynchroHorloges, DemiEcartsTronquesSeparementVersZero) {
  // (t2 − t1) = −3 et (t3 − t4) = −3 : −1 + −1, pas −6 ÷ 2.
  SynchroHorloges synchro;
  ASSERT_TRUE(synchro.enregistrer(reponse(10, 7, 8), 11));
  EXPECT_EQ(synchro.decalageNs(11), -2);
  // Extrêmes : chaque moitié tient, la somme aussi ; l'heure locale fait le tour.
  SynchroHorloges extreme;
  ASSERT_TRUE(extreme.enregistrer(reponse(0, std::uint64_t{1} << 63, std::uint64_t{1} << 63), 0));
  EXPECT_EQ(extreme.decalageNs(0), INT64_MIN);
  EXPECT_EQ(extreme.heureLocale(5, 0), (std::uint64_t{1} << 63) + 5);
  ASSERT_TRUE(extreme.enregistrer(reponse(0, INT64_MAX, INT64_MAX), 0));
  EXPECT_EQ(extreme.decalageNs(0), INT64_MAX - 1);
  EXPECT_EQ(extreme.redemarragesDistants(), 1) << "un saut de près de 2⁶⁴ sans débordement";
}

TEST(SynchroHorloges, ReponsesImpossiblesOuTropLentesRefusees) {
  SynchroHorloges synchro;
  EXPECT_TRUE(synchro.enregistrer(reponse(10 * s, 3, 3), 12 * s)) << "2 s tout juste";
  EXPECT_FALSE(synchro.enregistrer(reponse(10 * s, 3, 3), 12 * s + 1)) << "2 s et 1 ns";
  EXPECT_FALSE(synchro.enregistrer(MessageHorloge::question(10 * s), 10 * s));
  EXPECT_FALSE(synchro.enregistrer(reponse(10 * s, 3, 3), 10 * s - 1)) << "t4 avant t1";
  EXPECT_FALSE(synchro.enregistrer(reponse(10 * s, 5, 4), 10 * s + 10)) << "t3 avant t2";
  EXPECT_FALSE(synchro.enregistrer(reponse(10 * s, 5, 16), 10 * s + 10)) << "garde > total";
  EXPECT_TRUE(synchro.enregistrer(reponse(10 * s, 5, 15), 10 * s + 10)) << "garde = total";
  EXPECT_EQ(synchro.rejets(), 5);
  ASSERT_EQ(synchro.echanges().size(), 2u);
  EXPECT_EQ(synchro.echanges()[1].allerRetour, 0u);
}

TEST(SynchroHorloges, HuitEchangesGardesLePlusAncienSort) {
  SynchroHorloges synchro;
  for (std::uint64_t i = 1; i <= 9; ++i) ASSERT_TRUE(echange(synchro, i * s, 1'000 + i, 50));
  ASSERT_EQ(synchro.echanges().size(), 8u);
  EXPECT_EQ(synchro.echanges().front().reception, 2 * s);
  EXPECT_EQ(synchro.echanges().back().reception, 9 * s);
}

TEST(SynchroHorloges, RedemarrageJugeContreLeMeilleurEchangeDeTouteLaListe) {
  SynchroHorloges synchro;
  ASSERT_TRUE(echange(synchro, 1 * s, 500, 0));
  ASSERT_TRUE(echange(synchro, 2 * s, 900, 1'500'000'000));
  // À 2 s tout juste du meilleur (aller-retour 500) : pas un redémarrage.
  ASSERT_TRUE(echange(synchro, 3 * s, 800, -2'000'000'000));
  EXPECT_EQ(synchro.redemarragesDistants(), 0);
  EXPECT_EQ(synchro.echanges().size(), 3u);
  // Proche du plus récent mais à 2 s + 1 ns du meilleur : l'historique est vidé.
  ASSERT_TRUE(echange(synchro, 4 * s, 702, 2'000'000'001));
  EXPECT_EQ(synchro.redemarragesDistants(), 1);
  ASSERT_EQ(synchro.echanges().size(), 1u);
  EXPECT_EQ(synchro.decalageNs(4 * s), 2'000'000'001);
}

TEST(SynchroHorloges, AEgaliteLePlusAncienFaitLEstimationEtLaReference) {
  SynchroHorloges synchro;
  ASSERT_TRUE(echange(synchro, 1 * s, 400, 1'000));
  ASSERT_TRUE(echange(synchro, 2 * s, 400, 1'500'000'000));
  EXPECT_EQ(synchro.decalageNs(2 * s), 1'000);
  EXPECT_EQ(synchro.allerRetourNs(2 * s), 400u);
  // À 2 s + 1 ns de l'ancien, à 0,5 s du récent : c'est l'ancien qui compte.
  ASSERT_TRUE(echange(synchro, 3 * s, 402, 2'000'001'001));
  EXPECT_EQ(synchro.redemarragesDistants(), 1);
}

TEST(SynchroHorloges, FraicheurDeCinqSecondes) {
  SynchroHorloges synchro;
  ASSERT_TRUE(echange(synchro, 10 * s, 300, 78));
  EXPECT_EQ(synchro.decalageNs(10 * s - 1), 78) << "réception dans le futur : fraîche";
  EXPECT_EQ(synchro.decalageNs(15 * s), 78);
  EXPECT_EQ(synchro.decalageNs(15 * s + 1), std::nullopt);
  EXPECT_EQ(synchro.allerRetourNs(15 * s + 1), std::nullopt);
  EXPECT_EQ(synchro.heureLocale(1'000, 15 * s + 1), std::nullopt);

  // Le meilleur vieillit : le suivant parmi les frais prend le relais.
  ASSERT_TRUE(echange(synchro, 13 * s, 900, 88));
  EXPECT_EQ(synchro.decalageNs(14 * s), 78);
  EXPECT_EQ(synchro.decalageNs(16 * s), 88);
  EXPECT_EQ(synchro.allerRetourNs(16 * s), 900u);
}

}  // namespace
}  // namespace ravlo
