// SPDX-License-Identifier: MPL-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "protocol/audio/conversion_pcm.hpp"
#include "protocol/audio/tampon_audio.hpp"

namespace ravlo {
namespace {

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
// par elle ; sinon le segment continue, sa droite passant par cette heure (une horloge qui
// dérive est suivie, les octets déjà là avec elle). Après un refus, on ne prolonge jamais une
// heure à travers le trou.
TEST(TamponAudio, SegmentsDates) {
  const InstantNs t0 = 1'000'000'000, trame = 20'833;  // durée de 4 octets
  struct Cas {
    std::int64_t ecart;
    InstantNs premier, second;
  };
  for (const Cas& c :
       {Cas{10'000, t0 + 10'000, t0 + trame + 10'000},
        Cas{2'000'000, t0 + 2'000'000, t0 + trame + 2'000'000},
        Cas{2'000'001, t0, t0 + trame + 2'000'001}, Cas{-2'000'001, t0, t0 + trame - 2'000'001}}) {
    TamponAudio a(64);
    a.ecrire(motif(4), t0);
    a.ecrire(motif(4), t0 + trame + static_cast<InstantNs>(c.ecart));
    EXPECT_EQ(a.lire(4)->captureNs, c.premier) << c.ecart;
    EXPECT_EQ(a.lire(4)->captureNs, c.second) << c.ecart;
  }
  TamponAudio d(8);
  d.ecrire(motif(8), t0);
  EXPECT_FALSE(d.ecrire(motif(4), t0 + 2 * trame));
  d.jeter(8);
  d.ecrire(motif(4), t0 + 2 * trame + 1000);
  EXPECT_EQ(d.lire(4)->captureNs, t0 + 2 * trame + 1000);
}

struct ReveilCompte final : Reveil {
  int sonneries = 0;
  void sonner() override { ++sonneries; }
};

// Le réveil branché sonne à chaque écriture qui laisse au moins le seuil dans l'anneau (ce qui
// y reste, pas ce qui y est passé), refusée comprise (le consommateur est en retard : raison de
// plus) ; brancher ne sonne pas ; débranché, plus rien.
TEST(TamponAudio, SonneLeReveilDesQueLeSeuilEstTenu) {
  TamponAudio t(2000);
  ReveilCompte r;
  ASSERT_TRUE(t.ecrire(Octets(1276), 0));
  t.brancherReveil(&r, 1280);
  ASSERT_EQ(t.jeter(1276), 1276);
  for (const auto& [octets, acceptee, sonneries] :
       {std::tuple{1276, true, 0}, {4, true, 1}, {720, true, 2}, {4, false, 3}}) {
    EXPECT_EQ(t.ecrire(Octets(octets), 0), acceptee) << octets;
    EXPECT_EQ(r.sonneries, sonneries) << octets;
  }
  t.brancherReveil(nullptr, 0);
  ASSERT_EQ(t.jeter(2000), 2000);
  ASSERT_TRUE(t.ecrire(Octets(2000), 0));
  EXPECT_EQ(r.sonneries, 3) << "débranché";
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
