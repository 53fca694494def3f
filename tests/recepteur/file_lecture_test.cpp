// SPDX-License-Identifier: MPL-2.0
// La file de lecture rangée par séquence et sa cible : désordre, pertes masquées en fondu,
// paquets en retard, rattrapage après un arrêt, cible qui suit la gigue.
#include "recepteur/file_lecture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <optional>
#include <thread>
#include <vector>

#include "recepteur/cible_adaptative.hpp"

namespace ravlo {
namespace {

constexpr std::int64_t P = 320;  // trames par paquet
constexpr InstantNs capture0 = 7'000'000'000;
constexpr std::int64_t F = FileLecture::tramesFondu;

// Une sinusoïde de 470 trames de période (jamais un multiple d'un paquet) : un saut de son y
// fait une marche bien plus haute que la pente d'une trame à l'autre.
std::int16_t entier(std::int64_t trame, double periode = 470, double amplitude = 12'000) {
  return static_cast<std::int16_t>(std::lround(
      amplitude * std::sin(2 * std::numbers::pi * static_cast<double>(trame) / periode)));
}
float attendu(std::int64_t trame, double periode = 470, double amplitude = 12'000) {
  return static_cast<float>(entier(trame, periode, amplitude)) / 32767.0F;
}

// Le paquet `sequence`, voie droite opposée à la gauche.
Octets pcm(std::uint32_t sequence, double periode = 470, double amplitude = 12'000) {
  Octets o;
  for (std::int64_t i = 0; i < P; ++i) {
    const std::int16_t v = entier(sequence * P + i, periode, amplitude);
    for (std::int16_t x : {v, static_cast<std::int16_t>(-v)})
      o.insert(o.end(), {static_cast<std::uint8_t>(x & 0xFF), static_cast<std::uint8_t>(x >> 8)});
  }
  return o;
}

FileLecture::Sort placer(FileLecture& f, std::uint32_t sequence) {
  return f.placer(sequence, capture0 + sequence * 6'666'667ULL, pcm(sequence)).sort;
}

// Tire `n` trames et les ajoute à `sortie` (voie gauche ; la droite doit en être l'opposée).
void tirer(FileLecture& f, std::int64_t n, std::vector<float>& sortie) {
  std::vector<float> g(static_cast<std::size_t>(n), 9.0F), d = g;
  f.tirer(n, g, d, std::nullopt);
  for (std::size_t i = 0; i < g.size(); ++i) ASSERT_EQ(d[i], -g[i]) << i;
  sortie.insert(sortie.end(), g.begin(), g.end());
}

// La plus haute marche d'une trame à la suivante : la pente de la sinusoïde vaut 0,005 au
// plus, un fondu de 2,5 ms entre deux phases quelconques 0,01 ; une cassure nette jusqu'à 0,7.
float plusHauteMarche(const std::vector<float>& s, std::size_t debut = 0) {
  float m = 0;
  for (std::size_t i = debut + 1; i < s.size(); ++i) m = std::max(m, std::abs(s[i] - s[i - 1]));
  return m;
}

// Le décalage du flux à la trame `i` de la sortie, modulo la période de la sinusoïde.
std::optional<std::int64_t> decalageA(const std::vector<float>& sortie, std::int64_t i,
                                      double periode = 470, double amplitude = 12'000) {
  for (std::int64_t t0 = 0; t0 < periode && i + 40 < std::ssize(sortie); ++t0) {
    bool pareil = true;
    for (std::int64_t j = 0; j < 40 && pareil; ++j)
      pareil = sortie[static_cast<std::size_t>(i + j)] == attendu(t0 + j, periode, amplitude);
    if (pareil) return i - t0;
  }
  return std::nullopt;
}

// Un paquet arrive et 320 trames se rendent (en deux fois), tour à tour, dans l'ordre
// d'arrivée donné, puis de 6 à 19 ; l'amorce de six paquets laisse au désordre le temps
// d'arriver. Tout se joue, à l'échantillon près, chaque paquet à sa place ; un doublon est
// ignoré. Le paquet 5 qui ne vient pas à temps (jamais, ou après son heure de jeu : jeté et
// compté) : la fin du 4 s'éteint, le 5 se tait, le 6 revient en fondu ; aucune marche nulle
// part. Avec une amorce d'un paquet (et d'un fondu), le 6 n'est pas encore là à l'heure du 5 :
// masqué de même, l'heure de jeu tenue ; deux de suite, la file est à sec.
TEST(FileLecture, UnPaquetEnDesordreSeRangeUnPaquetPerduSeMasqueEnFondu) {
  constexpr std::uint32_t rien = 0xFFFFFFFF;  // un tour sans paquet
  struct Cas {
    const char* nom;
    std::int64_t amorce;
    std::vector<std::uint32_t> arrivees;
    std::int64_t reordonnes = 0, doublons = 0;
    bool cinqPerdu = false, cinqTardif = false;
  };
  const std::vector<std::uint32_t> sansCinq{0, 1, 2, 3, 4, rien};
  const Cas cas[] = {
      {"dans l'ordre", 6 * P, {0, 1, 2, 3, 4, 5}},
      {"deux inversions", 6 * P, {0, 2, 1, 3, 5, 4}, 2},
      {"un paquet doublé par trois", 6 * P, {0, 1, 3, 4, 5, 2}, 1},
      {"un doublon", 6 * P, {0, 1, 2, 2, 3, 4, 5}, 0, 1},
      {"le premier en retard avant tout son", 6 * P, {1, 0, 2, 3, 4, 5}, 1},
      {"perdu", 2 * P, sansCinq, 0, 0, true},
      {"arrivé trop tard", 2 * P, sansCinq, 0, 0, true, true},
      {"perdu, rien de plus récent", P + F, sansCinq, 0, 0, true},
      {"trop tard, rien de plus récent", P + F, sansCinq, 0, 0, true, true},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    FileLecture f(c.amorce, true);
    std::vector<float> sortie;
    auto arrivees = c.arrivees;
    for (std::uint32_t s = 6; s < 20; ++s) arrivees.push_back(s);
    for (const std::uint32_t s : arrivees) {
      if (s != rien) placer(f, s);
      tirer(f, P / 2, sortie);
      tirer(f, P / 2, sortie);
      if (c.cinqTardif && s == 8) {
        EXPECT_EQ(placer(f, 5), FileLecture::Sort::tardif);
      }
    }
    // Après le premier son : une amorce rognée démarre au milieu d'un paquet.
    const auto premier = std::find_if(sortie.begin(), sortie.end(), [](float x) { return x != 0; });
    EXPECT_LT(plusHauteMarche(sortie, static_cast<std::size_t>(premier - sortie.begin())), 0.012F);
    // sortie[i] = trame i − décalage, à une période de la sinusoïde près (qui ne change aucune
    // valeur attendue).
    const auto trouve = decalageA(sortie, premier - sortie.begin());
    ASSERT_TRUE(trouve) << "la sortie ne tient pas le flux";
    const std::int64_t decalage = *trouve;
    const auto a = [&](std::int64_t trame) {
      return sortie[static_cast<std::size_t>(trame + decalage)];
    };
    // Hors du trou et de ses fondus, chaque trame est la bonne.
    for (auto i = premier - sortie.begin(); i < std::ssize(sortie); ++i) {
      const std::int64_t t = i - decalage;
      if (!c.cinqPerdu || t < 5 * P - F || t >= 6 * P + F) {
        ASSERT_EQ(sortie[static_cast<std::size_t>(i)], attendu(t)) << t;
      }
    }
    EXPECT_GE(sortie.end() - premier, 12 * P);
    const auto e = f.etat();
    EXPECT_EQ(e.reordonnes, c.reordonnes);
    EXPECT_EQ(e.doublons, c.doublons);
    EXPECT_EQ(e.masques, c.cinqPerdu ? 1 : 0);
    EXPECT_EQ(e.tardifs, c.cinqTardif ? 1 : 0);
    EXPECT_EQ(e.trous + e.rattrapages, 0);
    if (!c.cinqPerdu) continue;
    for (std::int64_t t = 5 * P - F; t < 5 * P; ++t)
      ASSERT_LE(std::abs(a(t)), std::abs(attendu(t)) * static_cast<float>(5 * P - t) / F) << t;
    for (std::int64_t t = 5 * P; t < 6 * P; ++t) ASSERT_EQ(a(t), 0.0F) << t;
    for (std::int64_t t = 6 * P; t < 6 * P + F; ++t)
      ASSERT_LE(std::abs(a(t)), std::abs(attendu(t)) * static_cast<float>(t - 6 * P + 1) / F) << t;
  }
  FileLecture f(P + F, true);
  std::vector<float> sortie;
  for (std::uint32_t s = 0; s < 8; ++s) {
    if (s != 4 && s != 5) placer(f, s);
    tirer(f, P, sortie);
  }
  EXPECT_EQ(f.etat().masques, 1);
  EXPECT_EQ(f.etat().trous, 1);
}

// Après un arrêt du récepteur, 90 paquets attendent d'un coup, puis le flux reprend à son
// rythme : le son le plus ancien est sauté en fondu enchaîné, et la file revient à sa cible
// en moins de 2 s de son. Sans rattrapage (un fichier), rien n'est sauté.
TEST(FileLecture, UnePileDePaquetsAnciensSeRattrapeEnFonduEnDeuxSecondes) {
  for (const bool rattraper : {true, false}) {
    SCOPED_TRACE(rattraper ? "rattrapage" : "sans rattrapage");
    FileLecture f(3 * P, rattraper);
    std::vector<float> sortie;
    std::uint32_t s = 0;
    for (; s < 10; ++s) {
      placer(f, s);
      tirer(f, P, sortie);
    }
    for (const std::uint32_t fin = s + 90; s < fin; ++s) placer(f, s);
    for (std::int64_t rendu = 0; rendu < 2 * 48'000; rendu += P) {
      placer(f, s++);
      tirer(f, P, sortie);
    }
    const auto e = f.etat();
    EXPECT_EQ(e.trous + e.masques + e.tardifs, 0);
    EXPECT_LT(plusHauteMarche(sortie), 0.012F);
    if (rattraper) {
      EXPECT_GE(e.rattrapages, 1);
      EXPECT_LE(e.reserveTrames, 3 * P + FileLecture::seuilRattrapageTrames);
      EXPECT_GE(e.tramesSautees, 80 * P);
    } else {
      EXPECT_EQ(e.rattrapages, 0);
      EXPECT_GE(e.reserveTrames, 90 * P);
      // Tout le flux, sans un saut : la lecture a démarré au troisième rendu.
      for (std::int64_t i = 2 * P; i < std::ssize(sortie); ++i)
        ASSERT_EQ(sortie[static_cast<std::size_t>(i)], attendu(i - 2 * P)) << i;
    }
  }
}

// L'heure d'un groupe se tient en décalant la tête, ici sur un son tenu (une période de 109
// trames, 440 Hz). En avant d'un nombre impair de demi-périodes : sans chercher la phase, le
// saut est exact et les deux morceaux s'annulent au milieu du fondu (un creux dans la note) ;
// en phase, le saut s'écarte d'au plus `ecartPhaseMax` et le son continue sans marche ni
// creux. En arrière, la tête s'éteint, se tait et revient en fondu là où elle s'était arrêtée.
// Rien n'est masqué, la file ne tarit pas, et hors des fondus chaque trame est la bonne ; plus
// qu'il n'y a de son d'avance, le saut s'arrête avant le bout de la file.
TEST(FileLecture, UnRecalageSauteOuRetientLaTeteEnFondu) {
  constexpr double periode = 109, amplitude = 16'000;
  constexpr std::int64_t saut = 5 * 109 + 54;
  const float penteMax = static_cast<float>(2 * std::numbers::pi / periode * amplitude / 32767);
  for (const bool enPhase : {false, true}) {
    SCOPED_TRACE(enPhase);
    FileLecture f(4 * P, true);
    std::vector<float> sortie;
    std::uint32_t s = 0;
    const auto jouer = [&](int paquets) {
      for (int k = 0; k < paquets; ++k, ++s) {
        f.placer(s, capture0 + s * 6'666'667ULL, pcm(s, periode, amplitude));
        tirer(f, P, sortie);
      }
    };
    const auto decalage = [&] {
      return decalageA(sortie, std::ssize(sortie) - 100, periode, amplitude);
    };
    jouer(12);
    const std::size_t avant = sortie.size();
    const auto depart = decalage();
    f.decaler(saut, enPhase);
    jouer(6);
    const auto sautees = f.etat().tramesSautees;
    // L'énergie du fondu face à celle d'un son entier.
    double energie = 0;
    for (std::size_t i = avant; i < avant + F; ++i) energie += sortie[i] * sortie[i];
    const double pleine = 0.5 * F * std::pow(amplitude / 32767.0, 2);
    if (enPhase) {
      EXPECT_GT(energie / pleine, 0.9);
      EXPECT_LT(plusHauteMarche(sortie), 1.05F * penteMax) << "le son continue sans marche";
      EXPECT_LE(std::abs(sautees - saut), FileLecture::ecartPhaseMax);
    } else {
      EXPECT_LT(energie / pleine, 0.5) << "en opposition, le fondu creuse la note";
      EXPECT_EQ(sautees, saut);
    }
    const auto apresSaut = decalage();
    f.decaler(-300);
    tirer(f, 200, sortie);
    EXPECT_TRUE(std::all_of(sortie.end() - (200 - F), sortie.end(), [](float x) { return x == 0; }))
        << "la tête retenue se tait";
    jouer(6);
    const auto apresRetenue = decalage();
    ASSERT_TRUE(depart && apresSaut && apresRetenue);
    EXPECT_EQ(((*apresSaut - *depart + sautees) % 109 + 109) % 109, 0);
    EXPECT_EQ(((*apresRetenue - *apresSaut - 300) % 109 + 109) % 109, 0);
    // Un fondu vers le silence ou entre deux phases quelconques : la pente et 2 × 16 000 / F ;
    // une cassure nette, jusqu'au double de l'amplitude.
    EXPECT_LT(plusHauteMarche(sortie), 0.04F);
    const auto e = f.etat();
    EXPECT_EQ(e.recalages, 2);
    EXPECT_EQ(e.masques + e.trous + e.rattrapages, 0);
    f.decaler(100 * P);
    jouer(3);
    EXPECT_EQ(f.etat().trous, 0);
  }
}

// Numéros qui font le tour de 2³², et émetteur qui recommence ailleurs : la file le suit.
// En groupe, la lecture part de la trame due à l'heure du rendu : ni d'un bloc, ni d'un
// paquet près. Une tête pas encore due attend ; une heure au-delà de tout ce qui est reçu
// se rabat sur l'amorce.
TEST(FileLecture, EnGroupeLaLecturePartDeLaTrameDue) {
  struct Cas {
    const char* nom;
    std::int64_t due;  ///< trames depuis la première du paquet 0
    std::optional<std::int64_t> premiere;
  };
  constexpr std::int64_t ecartNs = 50'000'000;
  for (const Cas& c : {Cas{"au milieu du paquet 3", 1000, 1000}, Cas{"la tête pile", 0, 0},
                       Cas{"avant la tête", -100, std::nullopt},
                       Cas{"après tout ce qui est reçu", 20 * P, 10 * P - 3 * P}}) {
    SCOPED_TRACE(c.nom);
    FileLecture f(3 * P, false);
    for (std::uint32_t s = 0; s < 10; ++s) placer(f, s);
    f.changerDepartALHeure(ecartNs);
    const InstantNs heure =
        capture0 + ecartNs +
        static_cast<InstantNs>(std::llround(static_cast<double>(c.due) * FileLecture::nsParTrame));
    std::vector<float> g(480, 9.0F), d = g;
    const std::int64_t rendues = f.tirer(480, g, d, heure).rendues;
    if (!c.premiere) {
      EXPECT_EQ(rendues, 0);
      EXPECT_FALSE(f.etat().enLecture);
      continue;
    }
    EXPECT_EQ(rendues, 480);
    EXPECT_EQ(g[0], attendu(*c.premiere));
    EXPECT_EQ(g[479], attendu(*c.premiere + 479));
  }
}

TEST(FileLecture, TourDesNumerosEtEmetteurQuiRecommence) {
  FileLecture f(P, true);
  std::vector<float> sortie;
  for (std::uint32_t s : {0xFFFFFFFEU, 0xFFFFFFFFU, 0U, 1U}) {
    EXPECT_EQ(placer(f, s), FileLecture::Sort::place);
    tirer(f, P, sortie);
  }
  EXPECT_EQ(f.etat().masques + f.etat().tardifs, 0);
  EXPECT_EQ(placer(f, 5000), FileLecture::Sort::place);
  EXPECT_EQ(placer(f, 5001), FileLecture::Sort::place);
  EXPECT_EQ(f.etat().reserveTrames, 2 * P) << "la file repart du nouveau numéro";
  tirer(f, P, sortie);
  EXPECT_EQ(f.etat().masques, 0) << "un émetteur qui recommence n'a rien perdu";
  EXPECT_TRUE(f.etat().enLecture);

  // Le rendu arrêté, l'anneau vers lui se remplit : les paquets de trop sont jetés, comptés,
  // sans attendre ; l'ordre de repartir (au 1024) qui ne tenait plus passe au retour du rendu.
  FileLecture h(P, true);
  for (std::uint32_t s = 0; s < 1100; ++s) placer(h, s);
  EXPECT_GT(h.etat().nonPasses, 0);
  tirer(h, P, sortie);
  for (std::uint32_t s = 1100; s < 1104; ++s) {
    placer(h, s);
    tirer(h, P, sortie);
  }
  const auto e = h.etat();
  EXPECT_TRUE(e.enLecture);
  EXPECT_EQ(e.masques + e.rattrapages + e.trous, 0);
}

// La réception (qui pilote aussi : état, amorce, recalages, vidage) et le rendu, chacun sur
// son fil, sans verrou entre eux : chaque paquet a un sort et un seul, la réserve reste dans
// la capacité, le rendu ne rend jamais plus qu'il ne demande ni un son hors de [−1, 1].
TEST(ConcurrenceFileLecture, LaReceptionPasseAuRenduSansVerrou) {
  FileLecture f(3 * P, true);
  std::atomic<bool> fini{false};
  std::int64_t envoyes = 0;
  std::jthread reception([&] {
    for (std::uint32_t s = 0; !fini.load(); ++s) {
      const std::uint32_t numero = s % 7 == 3 ? s + 1 : s % 7 == 4 ? s - 1 : s;
      f.placer(numero, capture0 + numero * 6'666'667ULL, pcm(numero));
      ++envoyes;
      const auto e = f.etat();
      EXPECT_TRUE(e.reserveTrames >= 0 &&
                  e.reserveTrames <= FileLecture::casiers * FileLecture::tramesMaxParCasier);
      f.changerAmorce(s % 2 == 0 ? 3 * P : 2 * P);
      if (s % 50 == 20) f.decaler(s % 100 == 20 ? 200 : -200, true);
      if (s % 30 == 0) (void)f.prendreEvenements();
      if (s % 500 == 499) f.vider();
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  std::vector<float> g(512), d(512);
  std::int64_t rendues = 0;
  for (int tour = 0; tour < 20'000; ++tour) {
    const std::int64_t n = tour % 3 == 0 ? 512 : 96;
    if (tour % 2 == 0) (void)f.peutRendre(n);
    const std::int64_t k = f.tirer(n, g, d, 1'000 * (tour + 1)).rendues;
    ASSERT_TRUE(k >= 0 && k <= n);
    rendues += k;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) ASSERT_LE(std::abs(g[i]), 1.0F);
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  fini = true;
  reception.join();
  EXPECT_GT(rendues, 0);
  const auto e = f.etat();
  EXPECT_EQ(e.places + e.tardifs + e.doublons, envoyes);
}

// Retards d'arrivée tirés d'un générateur fixe : 0 à 1 ms sur une boucle propre, 0 à 10 ms
// sous la gigue. L'horloge de l'émetteur est à l'autre bout de 2⁶⁴.
struct Flux {
  CibleAdaptative cible;
  InstantNs t = 1'000'000'000;
  std::uint64_t alea = 12345;
  void passer(double secondes, double gigueMs, double enAvanceMs = 0) {
    for (int i = 0; i < static_cast<int>(secondes * 150); ++i) {
      alea = alea * 6364136223846793005ULL + 1442695040888963407ULL;
      const double u = static_cast<double>(alea >> 11) * 0x1.0p-53;
      t += 6'666'667;
      const InstantNs capture = t - 9'000'000'000ULL + 0xFFFF'FFFF'0000'0000ULL;
      cible.noter(capture, t + static_cast<InstantNs>((u * gigueMs - enAvanceMs) * 1e6));
    }
  }
  double retard() const { return *cible.retardMs(t); }
};

TEST(CibleAdaptative, MonteDUnCoupSousLaGigueEtRedescendLentement) {
  Flux f;
  // Au démarrage, une seconde de paquets en avance de 30 ms (une rafale de l'émetteur) : le
  // flux régulier qui suit n'est pas pris pour de la gigue au-delà de 4 s.
  f.passer(1, 1, 30);
  f.passer(5, 1);
  EXPECT_LE(f.retard(), 2.0);
  f.passer(5, 1);
  EXPECT_LE(f.retard(), 2.0);
  EXPECT_DOUBLE_EQ(*f.cible.cibleMs(5, f.t), f.retard() + 5 + CibleAdaptative::margeMs);
  f.passer(0.5, 10);
  EXPECT_GE(f.retard(), 7.0) << "une demi-seconde de gigue suffit";
  f.passer(30, 10);
  EXPECT_GE(f.retard(), 9.0);
  EXPECT_LE(f.retard(), 10.0) << "le centile, pas un maximum qui grimpe";
  f.passer(5, 1);
  EXPECT_GE(f.retard(), 9.0) << "cinq secondes calmes ne la font pas retomber";
  f.passer(120, 1);
  EXPECT_LE(f.retard(), 2.0);

  // Un paquet arrivé 30 ms trop tard : la couverture double aussitôt ; les paquets retenus
  // par le même arrêt ne l'emportent pas plus haut ; le retard répété est couvert tout
  // entier, et la moitié 20 s plus tard.
  f.cible.relever(30, f.t);
  EXPECT_GE(f.retard(), 6.0);
  EXPECT_LT(f.retard(), 30.0) << "un retard isolé ne se paie pas tout entier";
  const double isole = f.retard();
  f.passer(0.01, 1);
  f.cible.relever(25, f.t);
  f.passer(0.3, 1);
  f.cible.relever(30, f.t);
  EXPECT_NEAR(f.retard(), isole, 0.1) << "un seul arrêt";
  f.passer(0.5, 1);
  f.cible.relever(30, f.t);
  f.passer(0.5, 1);
  f.cible.relever(30, f.t);
  EXPECT_GE(f.retard(), 30.0);
  f.passer(20, 1);
  EXPECT_NEAR(f.retard(), 15.0, 0.5);
  // Plus de 120 ms : un arrêt, pas de la gigue.
  f.cible.relever(500, f.t);
  EXPECT_LT(f.retard(), 20.0);
  // Le plancher se relit contre la référence comme les retards : 20 s plus tard il couvre
  // 7 ms ; des paquets tous 8 ms plus tard le ramènent à rien.
  f.passer(20, 1);
  f.passer(6, 1, -8);
  EXPECT_LE(f.retard(), 2.0);
}

}  // namespace
}  // namespace ravlo
