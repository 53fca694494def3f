// SPDX-License-Identifier: MPL-2.0
#include <gtest/gtest.h>

#include <vector>

#include "protocol/lecture/heure_sortie.hpp"
#include "protocol/lecture/latence_sortie.hpp"
#include "protocol/lecture/synchro_horloges.hpp"
#include "protocol/supervision/reprise_connexion.hpp"
#include "protocol/supervision/silence_recepteur.hpp"

namespace ravlo {
namespace {

constexpr std::uint64_t msec = 1'000'000, sec = 1'000 * msec;

// Historique borné, fraîcheur et choix du meilleur échange : fuzz_synchro_horloges ; le
// décalage qu'en tire le récepteur : suivi_decalage_test.
MessageHorloge reponse(InstantNs t1, InstantNs t2, InstantNs t3) {
  return MessageHorloge::question(t1).reponse(t2, t3);
}

// Une ligne de temps par cas : « t » une sous-alimentation, « d » une demande de la sortie,
// à l'heure en secondes. Ce qui compte : la latence demandée après chaque événement (0 :
// rien à demander).
TEST(LatenceSortie, MonteAuTrouRedescendEtEspaceSesEssais) {
  struct Evenement {
    char sorte;
    double seconde;
    std::uint32_t demandeUs;
  };
  struct Cas {
    const char* nom;
    std::vector<Evenement> ligne;
    std::uint32_t latenceFinUs;
    std::uint64_t attenteFinS;
  };
  // clang-format off
  const std::vector<Cas> cas = {
      {"sans trou, rien ne bouge", {{'d', 0, 0}, {'d', 500, 0}}, 10'000, 60},
      {"un trou, une minute, la descente",
       {{'t', 1, 15'000}, {'d', 60.9, 0}, {'d', 61, 10'000}, {'d', 200, 0}}, 10'000, 60},
      {"deux trous, deux descentes espacées d'une minute",
       {{'t', 0, 15'000}, {'t', 30, 20'000}, {'d', 89, 0}, {'d', 90, 15'000}, {'d', 149, 0},
        {'d', 150, 10'000}}, 10'000, 60},
      {"la descente que la machine ne tient pas double l'attente",
       {{'t', 0, 15'000}, {'d', 60, 10'000}, {'t', 70, 15'000}, {'d', 189, 0}, {'d', 190, 10'000},
        {'t', 200, 15'000}, {'d', 439, 0}, {'d', 440, 10'000}}, 10'000, 240},
      {"un trou longtemps après la descente ne double rien",
       {{'t', 0, 15'000}, {'d', 60, 10'000}, {'t', 500, 15'000}, {'d', 560, 10'000}}, 10'000, 60},
      {"un accroc de trois trous ne monte que d'un pas",
       {{'t', 0, 15'000}, {'t', 0.03, 0}, {'t', 0.28, 0}, {'t', 0.5, 20'000}}, 20'000, 60},
      {"au plafond, plus rien à demander, la descente vient quand même",
       {{'t', 0, 15'000}, {'t', 2, 20'000}, {'t', 4, 25'000}, {'t', 6, 30'000}, {'t', 8, 35'000},
        {'t', 10, 40'000}, {'t', 12, 0}, {'d', 72, 35'000}}, 35'000, 60},
  };
  // clang-format on
  for (const auto& c : cas) {
    LatenceSortie l(LatenceSortie::Reglages{});
    for (const auto& e : c.ligne) {
      const auto t = static_cast<InstantNs>(e.seconde * static_cast<double>(sec)) + 7 * sec;
      const auto demande = e.sorte == 't' ? l.sousAlimentation(t) : l.noter(t);
      EXPECT_EQ(demande.value_or(0), e.demandeUs) << c.nom << ", " << e.sorte << " à " << e.seconde;
    }
    EXPECT_EQ(l.latenceUs(), c.latenceFinUs) << c.nom;
    EXPECT_EQ(l.attenteNs(), c.attenteFinS * sec) << c.nom;
  }
}

// Une demande refusée par le serveur laisse la latence qui joue : la descente suivante part
// d'elle.
TEST(LatenceSortie, UnRefusGardeLaLatenceDAvant) {
  LatenceSortie l(LatenceSortie::Reglages{});
  ASSERT_EQ(l.sousAlimentation(0), 15'000U);
  l.refusee(10'000);
  EXPECT_EQ(l.latenceUs(), 10'000U);
  EXPECT_FALSE(l.noter(120 * sec)) << "déjà au départ";
}

// Un relevé date toute trame du flux ; un flux qui attend, un trou ou une réponse partie
// avant le trou ne datent rien.
TEST(HeureSortie, DateDApresLeDernierReleveQuiJoue) {
  HeureSortie h;
  EXPECT_FALSE(h.heure(0));
  h.noter({.heureNs = 10 * sec, .trameLue = 48'000, .retardNs = 7 * msec, .joue = true});
  EXPECT_EQ(h.heure(48'000), 10 * sec + 7 * msec);
  EXPECT_EQ(h.heure(48'480), 10 * sec + 17 * msec);
  EXPECT_EQ(h.heure(48'001), 10 * sec + 7 * msec + 20'833);
  EXPECT_EQ(h.heure(47'520), 10 * sec - 3 * msec);

  h.noter({.heureNs = 11 * sec, .trameLue = 96'000, .retardNs = 6 * msec, .joue = false});
  EXPECT_FALSE(h.heure(96'000)) << "un flux qui attend d'être rempli n'avance pas";

  h.noter({.heureNs = 12 * sec, .trameLue = 96'000, .retardNs = 6 * msec, .joue = true});
  h.rompre(12 * sec + 50 * msec);
  EXPECT_FALSE(h.heure(96'000));
  h.noter(
      {.heureNs = 12 * sec + 40 * msec, .trameLue = 97'920, .retardNs = 6 * msec, .joue = true});
  EXPECT_FALSE(h.heure(97'920)) << "pris avant le trou";
  h.noter(
      {.heureNs = 12 * sec + 60 * msec, .trameLue = 97'000, .retardNs = 9 * msec, .joue = true});
  EXPECT_EQ(h.heure(97'480), 12 * sec + 79 * msec);
}

TEST(HeureSortie, UnReleveToutesLesCentMillisecondesEtToutDeSuiteApresUnTrou) {
  HeureSortie h;
  EXPECT_TRUE(h.aDemander(sec));
  EXPECT_FALSE(h.aDemander(sec + 99 * msec));
  EXPECT_TRUE(h.aDemander(sec + 100 * msec));
  EXPECT_FALSE(h.aDemander(sec + 150 * msec));
  h.rompre(sec + 160 * msec);
  EXPECT_TRUE(h.aDemander(sec + 160 * msec));
  h.noter({.heureNs = sec + 161 * msec, .joue = false});
  EXPECT_TRUE(h.aDemander(sec + 163 * msec)) << "un flux qui se remplit est redemandé";
}

TEST(SynchroHorloges, QuatreInstantsDemiEcartsTronquesEtReponsesRefusees) {
  // L'échange que le récepteur suit ; (t2 − t1) = −3 et (t3 − t4) = −3 : −1 + −1, pas −6 ÷ 2.
  SynchroHorloges synchro;
  ASSERT_TRUE(synchro.enregistrer(reponse(1'000, 5'000'500, 5'000'600), 1'300));
  ASSERT_TRUE(synchro.enregistrer(reponse(10, 7, 8), 11));
  EXPECT_EQ(synchro.echanges(),
            (std::vector<SynchroHorloges::Echange>{{4'999'400, 200, 1'300}, {-2, 0, 11}}));
  // Réponses impossibles ou plus lentes que 2 s.
  for (const auto& [m, t4, acceptee] : {std::tuple{reponse(10 * sec, 3, 3), 12 * sec, true},
                                        {reponse(10 * sec, 3, 3), 12 * sec + 1, false},
                                        {MessageHorloge::question(10 * sec), 10 * sec, false},
                                        {reponse(10 * sec, 3, 3), 10 * sec - 1, false},
                                        {reponse(10 * sec, 5, 4), 10 * sec + 10, false},
                                        {reponse(10 * sec, 5, 16), 10 * sec + 10, false},
                                        {reponse(10 * sec, 5, 15), 10 * sec + 10, true}}) {
    EXPECT_EQ(SynchroHorloges().enregistrer(m, t4), acceptee) << m.receptionQuestion << " " << t4;
  }
}

// Une tentative par seconde à partir de la panne, abandon à 30 s ; une heure qui recule ne
// fait rien ; l'horloge peut faire le tour pendant la panne.
TEST(RepriseConnexion, UneTentativeParSecondeEtAbandonATrenteSecondes) {
  using D = RepriseConnexion::Decision;
  RepriseConnexion reprise;
  // clang-format off
  for (const auto& [heure, decision] : {std::pair{10 * sec, D::rien}, {10 * sec - 1, D::rien},
       {11 * sec, D::recreer}, {11'900 * msec, D::rien}, {12 * sec, D::recreer},
       {40 * sec - 1, D::recreer}, {40 * sec, D::abandonner}})
    EXPECT_EQ(reprise.decider(heure), decision) << heure;
  // clang-format on
  reprise.retablie();
  EXPECT_EQ(reprise.decider(100 * sec), D::rien) << "une nouvelle panne";
  RepriseConnexion tour;
  tour.decider(UINT64_MAX - sec + 1);
  EXPECT_EQ(tour.decider(1), D::recreer);
  EXPECT_EQ(tour.verifier(29 * sec), D::abandonner);
}

TEST(SilenceRecepteur, SilencieuxATroisSecondesPerduADixMinutes) {
  SilenceRecepteur silence(0);
  silence.entendu(50 * sec);
  silence.entendu(40 * sec);  // l'heure entendue ne recule jamais
  EXPECT_FALSE(silence.estSilencieux(53 * sec - 1));
  EXPECT_TRUE(silence.estSilencieux(53 * sec));
  EXPECT_FALSE(silence.estPerdu(650 * sec - 1));
  EXPECT_TRUE(silence.estPerdu(650 * sec));
  EXPECT_FALSE(silence.estSilencieux(50 * sec - 1)) << "heure lue avant le dernier « entendu »";
  SilenceRecepteur tour(UINT64_MAX - sec);
  EXPECT_TRUE(tour.estSilencieux(2 * sec - 1));
}

}  // namespace
}  // namespace ravlo
