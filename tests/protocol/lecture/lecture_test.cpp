#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "protocol/audio/conversion_pcm.hpp"
#include "protocol/audio/tampon_audio.hpp"
#include "protocol/lecture/comblement_pertes.hpp"
#include "protocol/lecture/lecture_tiree.hpp"

namespace ravlo {
namespace {

// L'anneau sous un producteur et un consommateur concurrents : ConcurrenceLectureTiree.
Octets motif(std::size_t n, std::uint8_t graine = 0) {
  Octets o(n);
  for (std::size_t i = 0; i < n; ++i) o[i] = static_cast<std::uint8_t>(graine + i * 13);
  return o;
}

// Un octet de trop et rien n'entre (compté perdu) ; la place exacte passe, y compris
// l'écriture qui fait le tour de l'anneau, relue intacte.
TEST(TamponAudio, EcritureToutOuRien) {
  TamponAudio t(1000);
  ASSERT_TRUE(t.ecrire(motif(600), 0));
  ASSERT_EQ(t.lire(200)->octets, Octets(motif(200)));
  EXPECT_FALSE(t.ecrire(motif(601, 9), std::nullopt));
  EXPECT_EQ(t.perdus(), 601);
  EXPECT_TRUE(t.ecrire(motif(600, 5), std::nullopt));
  const Octets lu = t.lire(1000)->octets;
  EXPECT_EQ(Octets(lu.begin() + 400, lu.end()), motif(600, 5));
}

// Un bloc dont l'heure s'écarte de plus de 2 ms de la continuation ouvre un segment daté
// par elle ; sinon il continue le segment. Après un refus, on ne prolonge jamais une heure
// à travers le trou.
TEST(TamponAudio, SegmentsDates) {
  const InstantNs t0 = 1'000'000'000, trame = 20'833;  // durée de 4 octets
  for (const auto& [ecart, date] : {std::pair<std::int64_t, InstantNs>{2'000'000, t0 + trame},
                                    {2'000'001, t0 + trame + 2'000'001},
                                    {-2'000'001, t0 + trame - 2'000'001}}) {
    TamponAudio a(64);
    a.ecrire(motif(4), t0);
    a.ecrire(motif(4), t0 + trame + static_cast<InstantNs>(ecart));
    a.jeter(4);
    EXPECT_EQ(a.lire(4)->captureNs, date) << ecart;
  }
  TamponAudio d(8);
  d.ecrire(motif(8), t0);
  EXPECT_FALSE(d.ecrire(motif(4), t0 + 2 * trame));
  d.jeter(8);
  d.ecrire(motif(4), t0 + 2 * trame + 1000);
  EXPECT_EQ(d.lire(4)->captureNs, t0 + 2 * trame + 1000);
}

constexpr InstantNs capture0 = 7'000'000'000;

// Trame i : gauche = i mod 30 000, droite = −gauche. Les valeurs rendues disent quelles
// trames sont sorties, dans quel ordre, et si les voies sont restées appariées.
std::int16_t valeur(std::int64_t i) {
  return static_cast<std::int16_t>(i % 30'000);
}

// Pousse les trames [debut, debut + nombre) datées comme un flux continu parti de capture0.
void pousser(LectureTiree& lecture, std::int64_t debut, std::int64_t nombre) {
  Octets pcm;
  for (std::int64_t i = debut; i < debut + nombre; ++i)
    for (std::int16_t v : {valeur(i), static_cast<std::int16_t>(-valeur(i))})
      pcm.insert(pcm.end(),
                 {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)});
  ASSERT_TRUE(
      lecture.pousser(pcm, capture0 + static_cast<InstantNs>(TamponAudio::dureeNs(4 * debut))));
}

// Tire n trames et vérifie que les rendues sont premiere, premiere + 1, … et le reste nul
// (le tampon est d'abord sali : le silence doit être écrit, pas supposé). Rend leur nombre.
std::int64_t tirer(LectureTiree& lecture, std::int64_t n, std::int64_t premiere = -1,
                   std::optional<InstantNs> heure = {}) {
  std::vector<float> g(static_cast<std::size_t>(n), 9.0f), d = g;
  const std::int64_t rendues = lecture.tirer(n, g, d, heure);
  for (std::int64_t i = 0; premiere >= 0 && i < n; ++i) {
    const float attendu = i < rendues ? static_cast<float>(valeur(premiere + i)) / 32767.0f : 0.0f;
    EXPECT_EQ(g[static_cast<std::size_t>(i)], attendu) << i;
    EXPECT_EQ(d[static_cast<std::size_t>(i)], -attendu) << i;
  }
  return rendues;
}

// Sans l'amorce, rien ne sort et aucun silence n'est compté ; l'amorçage rogne l'excédent
// (les trames les plus anciennes) et date le rendu.
TEST(LectureTiree, AmorcageRogneLExcedentEtDateLeRendu) {
  LectureTiree lecture(48'000, 4800);
  pousser(lecture, 0, 4000);
  EXPECT_EQ(tirer(lecture, 512, 0, 1'000), 0);
  EXPECT_EQ(lecture.etat().tramesDeSilence, 0);
  pousser(lecture, 4000, 6000);
  EXPECT_EQ(tirer(lecture, 512, 4688, 123'456), 512);
  const auto e = lecture.etat();
  EXPECT_EQ(e.disponibleTrames, 4800);
  EXPECT_EQ(e.tramesJetees, 4688);
  EXPECT_EQ(e.dernierRendu,
            (LectureTiree::Rendu{
                123'456, capture0 + static_cast<InstantNs>(TamponAudio::dureeNs(4 * 4688))}));
}

// Un bloc incomplet est un trou : silence compté, puis réamorçage avant de reprendre.
TEST(LectureTiree, UnBlocIncompletEstUnTrouQuiRenvoieALAmorcage) {
  LectureTiree lecture(48'000, 1000);
  pousser(lecture, 0, 1000);
  ASSERT_EQ(tirer(lecture, 700), 700);
  EXPECT_EQ(tirer(lecture, 512, 700), 300);
  pousser(lecture, 1000, 999);
  EXPECT_EQ(tirer(lecture, 512), 0);
  auto e = lecture.etat();
  EXPECT_EQ(e.trous, 1) << "un rendu sans lecture n'est pas un nouveau trou";
  EXPECT_EQ(e.tramesDeSilence, 212 + 512);
  pousser(lecture, 1999, 1);
  EXPECT_EQ(tirer(lecture, 512, 1000), 512);
}

// Après un trou seulement, et toutes les 24 000 trames, un excédent d'au moins 1921 trames
// (40 ms) sur l'amorce + un bloc est jeté.
TEST(LectureTiree, RattrapageApresUnTrouAuDelaDe40ms) {
  constexpr std::int64_t amorce = 4800, n = 512;
  for (const auto& [trou, exces, jete] :
       {std::tuple{false, 5000, false}, {true, 1920, false}, {true, 1921, true}}) {
    LectureTiree lecture(48'000, amorce);
    std::int64_t ecrit = 0;
    auto completer = [&](std::int64_t cible) {
      const std::int64_t manque = cible - lecture.etat().disponibleTrames;
      pousser(lecture, ecrit, manque);
      ecrit += manque;
    };
    if (trou) {
      completer(amorce + n);
      ASSERT_EQ(tirer(lecture, n), n);
      ASSERT_EQ(tirer(lecture, 2 * amorce), amorce);
    }
    for (int rendu = 0; rendu <= 47; ++rendu) {
      completer(amorce + n + (rendu == 47 ? exces : 0));
      ASSERT_EQ(tirer(lecture, n), n);
    }
    EXPECT_EQ(lecture.etat().tramesJetees, jete ? exces : 0) << trou << " " << exces;
  }
}

// Le réseau pousse des blocs de 320 trames numérotées (gauche = i mod 32 000, droite =
// i div 32 000), le rendu tire, le pilotage lit, relève, change l'amorce et vide. Le rendu
// voit des trames entières, en avant dans le flux, contiguës hormis aux débuts de blocs,
// et ses comptes tombent juste : trames demandées depuis le début = son réel + silence.
TEST(ConcurrenceLectureTiree, PousserTirerEtPiloterEnParallele) {
  LectureTiree lecture(4800, 960);
  std::atomic<bool> fini{false}, aDebute{false};
  std::jthread reseau([&] {
    Octets pcm(320 * 4);
    for (std::int64_t premiere = 0; !fini.load(); premiere += 320) {
      for (std::int64_t i = 0; i < 320; ++i) {
        const std::int64_t n = premiere + i;
        for (auto [o, v] : {std::pair{0, n % 32'000}, {2, n / 32'000}}) {
          pcm[static_cast<std::size_t>(4 * i + o)] = static_cast<std::uint8_t>(v & 0xFF);
          pcm[static_cast<std::size_t>(4 * i + o + 1)] = static_cast<std::uint8_t>(v >> 8);
        }
      }
      lecture.pousser(pcm, static_cast<InstantNs>(premiere) * 20'833);  // file pleine : perdu
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  std::jthread pilotage([&] {
    for (std::int64_t tour = 0; !fini.load(); ++tour) {
      const auto e = lecture.etat();
      EXPECT_TRUE(e.disponibleTrames >= 0 && e.disponibleTrames <= 4800);
      lecture.changerAmorce(tour % 2 == 0 ? 960 : 480);
      if (aDebute.load() && tour % 50 == 0) lecture.vider();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::int64_t demandees = 0, rendues = 0, avantDebut = 0, derniere = -1;
  std::vector<float> gauche(512), droite(512);
  for (int tour = 0; tour < 20'000; ++tour) {
    const std::int64_t n = tour % 3 == 0 ? 512 : 256;
    const std::int64_t k = lecture.tirer(n, gauche, droite, 1'000 * (tour + 1));
    ASSERT_TRUE(k >= 0 && k <= n);
    if (rendues == 0 && k == 0) avantDebut += n;
    aDebute = aDebute || k > 0;
    demandees += n;
    rendues += k;
    for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i) {
      const std::int64_t numero =
          std::lround(gauche[i] * 32767.0f) + 32'000 * std::lround(droite[i] * 32767.0f);
      ASSERT_GT(numero, derniere);
      ASSERT_TRUE(i == 0 || numero == derniere + 1 || numero % 320 == 0) << numero;
      derniere = numero;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  fini = true;
  ASSERT_GT(rendues, 0);
  EXPECT_EQ(demandees - avantDebut, rendues + lecture.etat().tramesDeSilence);
}

// Un saut de 1 à 50 numéros (modulo 2³²) est comblé de silence daté juste avant le paquet ;
// plus loin, l'émetteur a recommencé ; sans place dans la file, rien.
TEST(ComblementPertes, SautsComblesDeSilenceDate) {
  const InstantNs t = 10'000'000'000;
  for (const auto& [precedent, sequence, capacite, comble] :
       {std::tuple{std::optional<std::uint32_t>{}, 10u, 48'000, 0},
        {7u, 8u, 48'000, 0},
        {7u, 10u, 48'000, 2},
        {UINT32_MAX, 1u, 48'000, 1},
        {7u, 58u, 48'000, 50},
        {7u, 59u, 48'000, 0},
        {7u, 10u, 600, 0}}) {
    LectureTiree lecture(capacite, 0);
    const auto paquet = PaquetAudio::creer(sequence, t, Octets(1280));
    EXPECT_EQ(ComblementPertes::combler(lecture, precedent, *paquet), comble) << sequence;
    EXPECT_EQ(lecture.etat().disponibleTrames, 320 * comble);
    if (comble == 0) continue;
    float g = 1, d = 1;
    (void)lecture.tirer(1, {&g, 1}, {&d, 1}, InstantNs{5});
    EXPECT_EQ(g, 0.0f);
    // L'amorçage (nulle) ne garde que la dernière trame : celle d'avant le paquet.
    EXPECT_EQ(lecture.etat().dernierRendu->captureNs, t - TamponAudio::dureeNs(4));
  }
}

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

// Écrêtage symétrique à ±32767, troncature vers zéro ; NaN, infinis et sous-normaux donnent 0.
TEST(ConversionPCM, ValeursLimites) {
  const std::pair<float, std::int16_t> cas[] = {
      {1.5f, 32767}, {0.5f, 16383}, {-1.5f, -32767},
      {nan, 0},      {-inf, 0},     {std::numeric_limits<float>::denorm_min(), 0}};
  for (const auto& [x, attendu] : cas) EXPECT_EQ(ConversionPCM::versEntier(x), attendu) << x;
}

// Les chemins vectoriels (flux entrelacé, voies séparées, retour en flottants) rendent ce
// que rend la boucle simple, restes de moins de huit trames compris.
TEST(ConversionPCM, CheminsVectorielsEgauxALaBoucleSimple) {
  std::mt19937 alea(42);
  std::uniform_real_distribution<float> d(-1.2f, 1.2f);
  for (std::size_t trames : {0u, 1u, 7u, 8u, 9u, 333u}) {
    std::vector<float> flux(2 * trames), gauche(trames), droite(trames);
    std::vector<std::int16_t> reference(2 * trames), a(2 * trames), b(2 * trames);
    for (std::size_t i = 0; i < flux.size(); ++i) {
      flux[i] = i % 11 == 0 ? nan : d(alea);
      (i % 2 ? droite : gauche)[i / 2] = flux[i];
      reference[i] = ConversionPCM::versEntier(flux[i]);
    }
    const std::span<const float> vue(flux);
    ASSERT_EQ(ConversionPCM::entrelacer(vue, vue.subspan(trames ? 1 : 0), 2, trames, a), trames);
    ASSERT_EQ(ConversionPCM::entrelacer(gauche, droite, 1, trames, b), trames);
    EXPECT_EQ(a, reference) << trames;
    EXPECT_EQ(b, reference) << trames;
    ConversionPCM::desentrelacer(reference, trames, gauche, droite);
    for (std::size_t i = 0; i < trames; ++i)
      ASSERT_EQ(gauche[i], static_cast<float>(reference[2 * i]) / 32767.0f);
  }
}

}  // namespace
}  // namespace ravlo
