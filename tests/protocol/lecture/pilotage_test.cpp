// SPDX-License-Identifier: MPL-2.0
#include <gtest/gtest.h>

#include <vector>

#include "protocol/lecture/heure_sortie.hpp"
#include "protocol/lecture/latence_sortie.hpp"
#include "protocol/lecture/synchro_horloges.hpp"
#include "protocol/supervision/attente_reprise.hpp"
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
// « r » un refus du serveur (la latence qui joue), à l'heure en secondes. Ce qui compte : la
// latence demandée après chaque événement (0 : rien à demander). Une demande refusée laisse la
// latence qui joue : la descente suivante part d'elle.
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
      {"un refus garde la latence d'avant", {{'t', 0, 15'000}, {'r', 0, 10'000}, {'d', 120, 0}},
       10'000, 60},
  };
  // clang-format on
  for (const auto& c : cas) {
    LatenceSortie l(LatenceSortie::Reglages{});
    for (const auto& e : c.ligne) {
      const auto t = static_cast<InstantNs>(e.seconde * static_cast<double>(sec)) + 7 * sec;
      if (e.sorte == 'r') {
        l.refusee(e.demandeUs);
        continue;
      }
      const auto demande = e.sorte == 't' ? l.sousAlimentation(t) : l.noter(t);
      EXPECT_EQ(demande.value_or(0), e.demandeUs) << c.nom << ", " << e.sorte << " à " << e.seconde;
    }
    EXPECT_EQ(l.latenceUs(), c.latenceFinUs) << c.nom;
    EXPECT_EQ(l.attenteNs(), c.attenteFinS * sec) << c.nom;
  }
}

// Un relevé date toute trame du flux ; un flux qui attend, un trou ou une réponse partie
// avant le trou ne datent rien. Un relevé se demande toutes les 100 ms, et tout de suite après
// un trou ou tant que le flux se remplit.
TEST(HeureSortie, DateDApresLeDernierReleveQuiJoueEtRedemandeApresUnTrou) {
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

  HeureSortie d;
  EXPECT_TRUE(d.aDemander(sec));
  EXPECT_FALSE(d.aDemander(sec + 99 * msec));
  EXPECT_TRUE(d.aDemander(sec + 100 * msec));
  EXPECT_FALSE(d.aDemander(sec + 150 * msec));
  d.rompre(sec + 160 * msec);
  EXPECT_TRUE(d.aDemander(sec + 160 * msec));
  d.noter({.heureNs = sec + 161 * msec, .joue = false});
  EXPECT_TRUE(d.aDemander(sec + 163 * msec)) << "un flux qui se remplit est redemandé";
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

// Une tentative par seconde et l'abandon à 30 s, le silence à 3 s et la perte à 10 min : les
// essais de l'émetteur audio (Banc.RecepteurMuet…, Banc.PanneRefaite…) les tiennent. Ici,
// l'horloge qui fait le tour pendant la panne ou le silence, et une heure lue avant le dernier
// événement (un autre fil l'a noté entre-temps) qui ne fait rien.
TEST(Supervision, LHorlogePeutFaireLeTour) {
  using D = RepriseConnexion::Decision;
  RepriseConnexion reprise;
  reprise.decider(UINT64_MAX - sec + 1);
  EXPECT_EQ(reprise.decider(UINT64_MAX - sec), D::rien);
  EXPECT_EQ(reprise.decider(1), D::recreer);
  EXPECT_EQ(reprise.verifier(29 * sec), D::abandonner);
  SilenceRecepteur silence(UINT64_MAX - sec);
  EXPECT_FALSE(silence.estSilencieux(2 * sec - 2));
  EXPECT_TRUE(silence.estSilencieux(2 * sec - 1));
  silence.entendu(50 * sec);
  silence.entendu(40 * sec);
  EXPECT_FALSE(silence.estSilencieux(53 * sec - 1)) << "l'heure entendue ne recule jamais";
  EXPECT_FALSE(silence.estSilencieux(50 * sec - 1));
}

// Une absence vue à 10 s, tâtée toutes les 100 ms : les essais tombent à 0,5, 1, 2, 4 puis
// 5 s d'écart ; une reprise fait repartir la prochaine absence d'un essai immédiat. Une heure
// qui recule ne permet rien.
TEST(AttenteReprise, DelaisDoublesJusquACinqSecondesPuisRepartDeZero) {
  AttenteReprise attente;
  std::vector<InstantNs> essais;
  for (InstantNs t = 10'000 * msec; t <= 28'000 * msec; t += 100 * msec) {
    if (!attente.aEssayer(t)) continue;
    essais.push_back(t);
    attente.essaye(t);
  }
  EXPECT_EQ(essais,
            (std::vector<InstantNs>{10'000 * msec, 10'500 * msec, 11'500 * msec, 13'500 * msec,
                                    17'500 * msec, 22'500 * msec, 27'500 * msec}));
  EXPECT_EQ(attente.resteNs(28'000 * msec), 4'500 * msec);
  EXPECT_FALSE(attente.aEssayer(27'000 * msec));
  EXPECT_EQ(attente.resteNs(27'000 * msec), 5'000 * msec);

  attente.reussie();
  EXPECT_TRUE(attente.aEssayer(28'000 * msec));
  EXPECT_EQ(attente.resteNs(28'000 * msec), 0u);
  attente.essaye(28'000 * msec);
  EXPECT_FALSE(attente.aEssayer(28'499 * msec));
  EXPECT_TRUE(attente.aEssayer(28'500 * msec));
}

}  // namespace
}  // namespace ravlo
