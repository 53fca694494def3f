#include "protocol/lecture_tiree.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ravlo {
namespace {

constexpr InstantNs capture0 = 7'000'000'000;

// Trame i : gauche = i mod 30 000, droite = −gauche. Les valeurs rendues disent donc quelles
// trames sont sorties, dans quel ordre, et si les voies sont restées appariées.
std::int16_t valeur(std::int64_t i) {
  return static_cast<std::int16_t>(i % 30'000);
}

// Pousse les trames [debut, debut + nombre) datées comme un flux continu parti de capture0.
void pousser(LectureTiree& lecture, std::int64_t debut, std::int64_t nombre, bool date = true) {
  Octets pcm;
  for (std::int64_t i = debut; i < debut + nombre; ++i) {
    for (std::int16_t v : {valeur(i), static_cast<std::int16_t>(-valeur(i))}) {
      pcm.push_back(static_cast<std::uint8_t>(v & 0xFF));
      pcm.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
  }
  const auto capture = capture0 + static_cast<InstantNs>(TamponAudio::dureeNs(4 * debut));
  ASSERT_TRUE(lecture.pousser(pcm, date ? std::optional(capture) : std::nullopt));
}

struct Bloc {
  std::int64_t rendues = 0;
  std::vector<float> gauche, droite;
};

Bloc tirer(LectureTiree& lecture, std::int64_t n, std::optional<InstantNs> heure = {}) {
  // Remplies d'une valeur parasite : le silence doit être écrit, pas supposé.
  Bloc b{0, std::vector<float>(static_cast<std::size_t>(n), 9.0f),
         std::vector<float>(static_cast<std::size_t>(n), 9.0f)};
  b.rendues = lecture.tirer(n, b.gauche, b.droite, heure);
  return b;
}

// Les `rendues` premières trames sont les trames premiere, premiere + 1, … ; le reste est nul.
void verifierBloc(const Bloc& b, std::int64_t premiere) {
  for (std::size_t i = 0; i < b.gauche.size(); ++i) {
    const bool son = static_cast<std::int64_t>(i) < b.rendues;
    const float attendu =
        son ? static_cast<float>(valeur(premiere + static_cast<std::int64_t>(i))) / 32767.0f : 0.0f;
    ASSERT_EQ(b.gauche[i], attendu) << "trame " << i;
    ASSERT_EQ(b.droite[i], -attendu) << "trame " << i;
  }
}

TEST(LectureTiree, AttendLAmorceSansCompterDeSilenceAvantLaPremiereLecture) {
  LectureTiree lecture(48'000, 4800);
  pousser(lecture, 0, 4000);
  const Bloc b = tirer(lecture, 512, 1'000);
  EXPECT_EQ(b.rendues, 0);
  verifierBloc(b, 0);
  const auto e = lecture.etat();
  EXPECT_EQ(e.disponibleTrames, 4000);
  EXPECT_FALSE(e.enLecture);
  EXPECT_FALSE(e.commencee);
  EXPECT_EQ(e.tramesDeSilence, 0);
  EXPECT_EQ(e.trous, 0);
  EXPECT_EQ(e.rendus, 0);
  EXPECT_EQ(lecture.niveauDuBloc(), 0.0f);
}

TEST(LectureTiree, LeRenduDAmorcageRogneLExcedentEtDateLeRendu) {
  LectureTiree lecture(48'000, 4800);
  pousser(lecture, 0, 10'000);
  const Bloc b = tirer(lecture, 512, 123'456);
  EXPECT_EQ(b.rendues, 512);
  verifierBloc(b, 4688);
  const auto e = lecture.etat();
  EXPECT_EQ(e.disponibleTrames, 4800);
  EXPECT_EQ(e.tramesJetees, 4688);
  EXPECT_TRUE(e.enLecture);
  EXPECT_TRUE(e.commencee);
  EXPECT_EQ(e.rendus, 1);
  const auto capture = capture0 + static_cast<InstantNs>(TamponAudio::dureeNs(4 * 4688));
  EXPECT_EQ(e.dernierRendu, (LectureTiree::Rendu{123'456, capture}));
  EXPECT_EQ(e.blocTrames, 512);
}

TEST(LectureTiree, UnBlocIncompletEstUnTrouQuiRenvoieALAmorcage) {
  LectureTiree lecture(48'000, 1000);
  pousser(lecture, 0, 1000);
  ASSERT_EQ(tirer(lecture, 512).rendues, 512);
  ASSERT_EQ(tirer(lecture, 188).rendues, 188);
  const Bloc b = tirer(lecture, 512);
  EXPECT_EQ(b.rendues, 300);
  verifierBloc(b, 700);
  auto e = lecture.etat();
  EXPECT_EQ(e.trous, 1);
  EXPECT_EQ(e.tramesDeSilence, 212);
  EXPECT_FALSE(e.enLecture);

  // Réamorçage : tant que la file n'a pas l'amorce, tout le bloc est du silence compté.
  pousser(lecture, 1000, 999);
  EXPECT_EQ(tirer(lecture, 512).rendues, 0);
  e = lecture.etat();
  EXPECT_EQ(e.tramesDeSilence, 212 + 512);
  EXPECT_EQ(e.trous, 1) << "un rendu sans lecture n'est pas un nouveau trou";
  pousser(lecture, 1999, 1);
  const Bloc repris = tirer(lecture, 512);
  EXPECT_EQ(repris.rendues, 512);
  verifierBloc(repris, 1000);
  EXPECT_TRUE(lecture.etat().enLecture);
}

TEST(LectureTiree, UnRenduPlusGrandQueLaZoneDeTravailEstUnTrou) {
  LectureTiree lecture(48'000, 0);
  pousser(lecture, 0, 20'000);
  const Bloc b = tirer(lecture, 10'000);
  EXPECT_EQ(b.rendues, 8192);
  verifierBloc(b, 10'000);  // l'amorçage a rogné à 0 + 10 000 trames
  const auto e = lecture.etat();
  EXPECT_EQ(e.trous, 1);
  EXPECT_EQ(e.tramesDeSilence, 1808);
  EXPECT_EQ(e.disponibleTrames, 10'000 - 8192);
}

// Rendus de 512 trames avec, avant chacun, une file portée à amorce + 512 + 5000 : rend la
// liste des rendus (numérotés après le démarrage) qui ont jeté l'excédent.
enum class Depart { premier, apresUnTrou, apresUnTrouPuisVider };

std::vector<int> rendusQuiRognent(Depart depart) {
  constexpr std::int64_t amorce = 4800, n = 512, exces = 5000;
  LectureTiree lecture(48'000, amorce);
  std::int64_t ecrit = 0;
  auto completer = [&](std::int64_t cible) {
    const std::int64_t manque = cible - lecture.etat().disponibleTrames;
    pousser(lecture, ecrit, manque);
    ecrit += manque;
  };
  if (depart != Depart::premier) {
    completer(amorce + n);
    EXPECT_EQ(tirer(lecture, n).rendues, n);
    EXPECT_EQ(tirer(lecture, 2 * amorce).rendues, amorce);  // trou
    if (depart == Depart::apresUnTrouPuisVider) lecture.vider();
  }
  completer(amorce + n);
  EXPECT_EQ(tirer(lecture, n).rendues, n);  // (ré)amorçage
  std::vector<int> rognent;
  for (int rendu = 1; rendu <= 400; ++rendu) {
    completer(amorce + n + exces);
    const std::int64_t jeteesAvant = lecture.etat().tramesJetees;
    const Bloc b = tirer(lecture, n);
    EXPECT_EQ(b.rendues, n);
    const auto e = lecture.etat();
    if (e.tramesJetees != jeteesAvant) {
      rognent.push_back(rendu);
      EXPECT_EQ(e.tramesJetees - jeteesAvant, exces);
      EXPECT_EQ(e.disponibleTrames, amorce);
      verifierBloc(b, ecrit - amorce - n);  // les trames jetées sont les plus anciennes
    }
  }
  return rognent;
}

TEST(LectureTiree, LeRattrapageNeSuitQuUnTrouEtControleToutesLes24000Trames) {
  EXPECT_EQ(rendusQuiRognent(Depart::premier), std::vector<int>{});
  // 144 000 trames de rattrapage : six contrôles, le dernier au rendu 282.
  EXPECT_EQ(rendusQuiRognent(Depart::apresUnTrou), (std::vector<int>{47, 94, 141, 188, 235, 282}));
  EXPECT_EQ(rendusQuiRognent(Depart::apresUnTrouPuisVider), std::vector<int>{});
}

// Au premier contrôle du rattrapage, la file est mesurée avant la lecture.
class SeuilDExcedent : public ::testing::TestWithParam<std::int64_t> {};

TEST_P(SeuilDExcedent, SeulUnExcedentDAuMoins1921TramesEstJete) {
  constexpr std::int64_t amorce = 4800, n = 512;
  const std::int64_t exces = GetParam();
  LectureTiree lecture(48'000, amorce);
  std::int64_t ecrit = 0;
  auto completer = [&](std::int64_t cible) {
    const std::int64_t manque = cible - lecture.etat().disponibleTrames;
    pousser(lecture, ecrit, manque);
    ecrit += manque;
  };
  completer(amorce + n);
  ASSERT_EQ(tirer(lecture, n).rendues, n);
  ASSERT_EQ(tirer(lecture, 2 * amorce).rendues, amorce);  // trou
  completer(amorce + n);
  ASSERT_EQ(tirer(lecture, n).rendues, n);  // réamorçage
  for (int rendu = 1; rendu <= 46; ++rendu) {
    completer(amorce + n);
    ASSERT_EQ(tirer(lecture, n).rendues, n);
  }
  completer(amorce + n + exces);
  ASSERT_EQ(tirer(lecture, n).rendues, n);
  const auto e = lecture.etat();
  const bool jete = exces >= LectureTiree::excesMinimalTrames;
  EXPECT_EQ(e.tramesJetees, jete ? exces : 0);
  EXPECT_EQ(e.disponibleTrames, jete ? amorce : amorce + exces);
}

INSTANTIATE_TEST_SUITE_P(AutourDe40ms, SeuilDExcedent, ::testing::Values(1920, 1921));

TEST(LectureTiree, ReleverPireRendLesPiresValeursPuisRepartDeZero) {
  LectureTiree lecture(48'000, 1000);
  EXPECT_EQ(lecture.releverPire(), std::nullopt);
  pousser(lecture, 0, 3000);
  tirer(lecture, 256, 1'000);  // amorçage : la file n'y est pas relevée
  tirer(lecture, 512, 6'000);
  tirer(lecture, 128, 8'000);
  // Files vues en début de rendu pendant la lecture : 1000, puis 488.
  EXPECT_EQ(lecture.releverPire(), (LectureTiree::PireRendu{488, 512, 5'000}));
  EXPECT_EQ(lecture.releverPire(), std::nullopt);

  // Le relevé suivant ne voit que les rendus d'après ; une heure qui recule ne compte pas.
  tirer(lecture, 64, 7'000);
  tirer(lecture, 64);
  tirer(lecture, 64, 7'500);
  EXPECT_EQ(lecture.releverPire(), (LectureTiree::PireRendu{232, 64, 500}));
}

TEST(LectureTiree, LaTailleDeBlocRecenteNeBaisseQuApres256RendusPlusPetits) {
  LectureTiree lecture(48'000, 0);
  tirer(lecture, 512);
  for (int i = 0; i < 255; ++i) tirer(lecture, 256);
  EXPECT_EQ(lecture.etat().blocTrames, 512);
  tirer(lecture, 256);
  EXPECT_EQ(lecture.etat().blocTrames, 256);
  // Un bloc plus grand s'impose tout de suite, et un plus grand coupe la série des petits.
  for (int i = 0; i < 200; ++i) tirer(lecture, 128);
  tirer(lecture, 1024);
  EXPECT_EQ(lecture.etat().blocTrames, 1024);
  for (int i = 0; i < 255; ++i) tirer(lecture, 128);
  tirer(lecture, 1024);
  for (int i = 0; i < 255; ++i) tirer(lecture, 128);
  EXPECT_EQ(lecture.etat().blocTrames, 1024);
}

TEST(LectureTiree, SeulUnRenduDateDeSonDateCompteCommeRendu) {
  LectureTiree lecture(48'000, 1000);
  pousser(lecture, 0, 1000);
  tirer(lecture, 100);
  EXPECT_EQ(lecture.etat().rendus, 0);
  tirer(lecture, 100, 5'000);
  const auto e = lecture.etat();
  EXPECT_EQ(e.rendus, 1);
  const auto capture = capture0 + static_cast<InstantNs>(TamponAudio::dureeNs(4 * 100));
  EXPECT_EQ(e.dernierRendu, (LectureTiree::Rendu{5'000, capture}));
  tirer(lecture, 100);
  EXPECT_EQ(lecture.etat().rendus, 1);
  EXPECT_EQ(lecture.etat().dernierRendu, e.dernierRendu);

  // Du son sans heure de capture ne date pas non plus le rendu.
  LectureTiree sansHeure(48'000, 1000);
  pousser(sansHeure, 0, 1000, false);
  EXPECT_EQ(tirer(sansHeure, 100, 5'000).rendues, 100);
  EXPECT_EQ(sansHeure.etat().rendus, 0);
  EXPECT_EQ(sansHeure.etat().dernierRendu, std::nullopt);
}

TEST(LectureTiree, ConversionEtNiveauDuBloc) {
  LectureTiree lecture(48'000, 0);
  // Un nombre de trames qui n'est pas multiple de 8 : la fin passe par la boucle simple.
  pousser(lecture, 29'000, 1003);
  const Bloc b = tirer(lecture, 1003);
  ASSERT_EQ(b.rendues, 1003);
  verifierBloc(b, 29'000);
  double somme = 0;
  for (std::size_t i = 0; i < 1003; ++i) somme += 2.0 * b.gauche[i] * b.gauche[i];
  EXPECT_NEAR(lecture.niveauDuBloc(), std::sqrt(somme / 2006.0), 1e-5);

  // Extrêmes : 32767 donne 1,0 et −32768 un peu moins que −1,0.
  Octets extremes{0xFF, 0x7F, 0x00, 0x80};
  ASSERT_TRUE(lecture.pousser(extremes, std::nullopt));
  float g = 0, d = 0;
  ASSERT_EQ(lecture.tirer(1, {&g, 1}, {&d, 1}, std::nullopt), 1);
  EXPECT_EQ(g, 1.0f);
  EXPECT_LT(d, -1.0f);

  // Un bloc à moitié rempli : le silence compte dans la moyenne sur 2n.
  Octets constant;
  for (int i = 0; i < 256; ++i) constant.insert(constant.end(), {0x00, 0x40, 0x00, 0x40});
  ASSERT_TRUE(lecture.pousser(constant, std::nullopt));
  tirer(lecture, 512);
  const double x = 16'384.0 / 32'767.0;
  EXPECT_NEAR(lecture.niveauDuBloc(), std::sqrt(x * x / 2), 1e-6);
}

TEST(LectureTiree, EcrituresTramesEntieresEtToutOuRien) {
  LectureTiree lecture(100, 0);
  EXPECT_FALSE(lecture.pousser(Octets(6), std::nullopt)) << "une trame et demie";
  EXPECT_EQ(lecture.etat().disponibleTrames, 0);
  EXPECT_TRUE(lecture.pousser(Octets(400), std::nullopt));
  EXPECT_FALSE(lecture.pousser(Octets(4), std::nullopt)) << "file pleine à 100 trames";
  EXPECT_EQ(lecture.etat().disponibleTrames, 100);
}

TEST(LectureTiree, AmorceChangeeEtVider) {
  LectureTiree lecture(48'000, 4800);
  lecture.changerAmorce(-5);
  EXPECT_EQ(lecture.amorce(), 0);
  lecture.changerAmorce(600);
  EXPECT_EQ(lecture.amorce(), 600);
  pousser(lecture, 0, 700);
  EXPECT_EQ(tirer(lecture, 100).rendues, 100);
  EXPECT_EQ(lecture.etat().disponibleTrames, 600);

  lecture.vider();
  auto e = lecture.etat();
  EXPECT_EQ(e.disponibleTrames, 0);
  EXPECT_FALSE(e.enLecture);
  EXPECT_EQ(e.trous, 0) << "vider n'est pas un trou";
  EXPECT_EQ(tirer(lecture, 100).rendues, 0);
  EXPECT_EQ(lecture.etat().tramesDeSilence, 100);

  // Une amorce plus grande que la file ne démarre jamais la lecture.
  LectureTiree petite(1000, 5000);
  pousser(petite, 0, 1000);
  EXPECT_EQ(tirer(petite, 10).rendues, 0);
  EXPECT_FALSE(petite.etat().commencee);
}

}  // namespace
}  // namespace ravlo
