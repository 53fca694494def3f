#include "protocol/pilote_lecture.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

constexpr InstantNs s = 1'000'000'000;
constexpr InstantNs t0 = 100 * s;

LectureTiree::Etat etat(double reserveMs, bool commencee, std::int64_t trous = 0) {
  LectureTiree::Etat e;
  e.disponibleTrames = static_cast<std::int64_t>(reserveMs * 48);
  e.commencee = commencee;
  e.enLecture = commencee;
  e.trous = trous;
  return e;
}

using Consigne = PiloteLecture::Consigne;

TEST(PiloteLecture, AvantLaLectureLaCibleSeCalculeSansConsigne) {
  PiloteLecture p;
  EXPECT_EQ(p.piloter(etat(10, false), t0, 5.0, 20.0), Consigne{});
  EXPECT_EQ(p.cibleMs(), std::nullopt);
  EXPECT_EQ(p.piloter(etat(30, false), t0 + s, 5.0, 20.0), Consigne{});
  EXPECT_DOUBLE_EQ(*p.cibleMs(), 20.0 + 5.0 + 35.0);
  EXPECT_EQ(p.debutLectureNs(), std::nullopt);
  EXPECT_EQ(p.vitessePPM(), 0.0);
}

TEST(PiloteLecture, EnCoursDeSecondeRienNeChangeQueLeReleve) {
  PiloteLecture p;
  p.piloter(etat(40, false), t0, 0.0, 20.0);
  p.piloter(etat(40, false), t0 + s, 0.0, 20.0);
  const auto cible = p.cibleMs();
  EXPECT_EQ(p.piloter(etat(70, true), t0 + s + 400'000'000, 30.0, 50.0), Consigne{});
  EXPECT_EQ(p.debutLectureNs(), t0 + s + 400'000'000);
  EXPECT_EQ(p.cibleMs(), cible) << "ni la gigue ni la base n'agissent en cours de seconde";
  EXPECT_EQ(p.cible().enveloppeGigueMs, 0.0);
  EXPECT_EQ(p.releve().reserveMs(), 70.0);
  EXPECT_EQ(p.piloter(etat(70, true), t0 + s + 500'000'000, 30.0, 50.0), Consigne{});
  EXPECT_EQ(p.debutLectureNs(), t0 + s + 400'000'000) << "le début ne se note qu'une fois";
}

// Cible 60 ms (base 25, gigue 0). Lecture commencée à t0 ; une seconde se clôt à chaque s.
TEST(PiloteLecture, RegulationTenuePendantLes3PremieresSecondesPuisPermise) {
  PiloteLecture p;
  EXPECT_EQ(p.piloter(etat(70, true), t0, 0.0, 25.0), Consigne{});
  for (InstantNs k = 1; k <= 2; ++k) {
    EXPECT_EQ(p.piloter(etat(70, true), t0 + k * s, 0.0, 25.0), (Consigne{2880, 0.0})) << k;
  }
  // Moyenne 70 contre cible 60 : 400 + 0,4 ppm.
  EXPECT_EQ(p.piloter(etat(70, true), t0 + 3 * s, 0.0, 25.0), (Consigne{2880, 400.4}));
  EXPECT_DOUBLE_EQ(p.vitessePPM(), 400.4);

  // Tenue à la demande : la sortie reste le terme intégral.
  p.retarderRegulation(t0 + 3 * s);
  EXPECT_EQ(p.piloter(etat(70, true), t0 + 4 * s, 0.0, 25.0), (Consigne{2880, 0.4}));
  EXPECT_EQ(p.piloter(etat(70, true), t0 + 6 * s, 0.0, 25.0), (Consigne{2880, 400.8}));
}

TEST(PiloteLecture, UnTrouAjoute20msALAmorcePendant3sEtTientLeRegulateur) {
  PiloteLecture p;
  p.piloter(etat(60, true), t0, 0.0, 25.0);
  for (InstantNs k = 1; k <= 5; ++k) p.piloter(etat(60, true), t0 + k * s, 0.0, 25.0);
  const InstantNs trou = t0 + 5 * s + 300'000'000;
  // Tout de suite, sans attendre la fin de la seconde, et sans vitesse.
  EXPECT_EQ(p.piloter(etat(0, true, 1), trou, 0.0, 25.0), (Consigne{3840, std::nullopt}));
  EXPECT_EQ(p.piloter(etat(30, true, 1), t0 + 6 * s, 0.0, 25.0), (Consigne{3840, 0.0}));
  EXPECT_EQ(p.piloter(etat(60, true, 1), trou + 3 * s - 1, 0.0, 25.0), (Consigne{3840, 0.0}));
  EXPECT_EQ(p.piloter(etat(60, true, 1), trou + 3 * s, 0.0, 25.0), Consigne{});
  const auto apres = p.piloter(etat(60, true, 1), trou + 4 * s, 0.0, 25.0);
  EXPECT_EQ(apres.amorceTrames, 2880);
  ASSERT_TRUE(apres.vitessePPM.has_value()) << "la régulation reprend 3 s après le trou";
}

TEST(PiloteLecture, LEnveloppeSuitLaGigueEtNeDecroitQuAuxSecondesCloses) {
  PiloteLecture p;
  p.piloter(etat(60, true), t0, 0.0, 10.0);
  EXPECT_EQ(p.piloter(etat(60, true), t0 + s, 120.0, 10.0).amorceTrames, (10 + 80 + 35) * 48);
  EXPECT_DOUBLE_EQ(*p.cibleMs(), 125.0);
  // Un trou recalcule la cible sans faire décroître l'enveloppe.
  p.piloter(etat(0, true, 1), t0 + s + 500'000'000, 0.0, 10.0);
  EXPECT_DOUBLE_EQ(p.cible().enveloppeGigueMs, 80.0);
  p.piloter(etat(60, true, 1), t0 + 2 * s + 500'000'000, 0.0, 10.0);
  EXPECT_DOUBLE_EQ(p.cible().enveloppeGigueMs, 80.0 * 0.9771599684342459);
}

}  // namespace
}  // namespace ravlo
