#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

#include "protocol/tampon_audio.hpp"

namespace ravlo {
namespace {

Octets motif(std::size_t n, std::uint8_t graine = 0) {
  Octets o(n);
  for (std::size_t i = 0; i < n; ++i) o[i] = static_cast<std::uint8_t>(graine + i * 13);
  return o;
}

TEST(TamponAudio, EcritureToutOuRien) {
  TamponAudio t(1000);
  const Octets premier = motif(600);
  ASSERT_TRUE(t.ecrire(premier, 0));
  ASSERT_EQ(t.lire(200)->octets, Octets(premier.begin(), premier.begin() + 200));
  // Libre : 1000 − 400 = 600. Un octet de trop et rien n'entre ; la place exacte passe.
  EXPECT_FALSE(t.ecrire(motif(601, 9), std::nullopt));
  EXPECT_EQ(t.perdus(), 601);
  EXPECT_EQ(t.disponible(), 400);
  EXPECT_TRUE(t.ecrire(motif(600, 5), std::nullopt));
  EXPECT_EQ(t.disponible(), 1000);
  EXPECT_EQ(t.perdus(), 601);
  // Le contenu n'a pas été touché par le refus, et l'écriture qui fait le tour se relit
  // intacte.
  const auto lu = t.lire(1000);
  ASSERT_TRUE(lu.has_value());
  const Octets attendu = [&] {
    Octets a(premier.begin() + 200, premier.end());
    const Octets b = motif(600, 5);
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }();
  EXPECT_EQ(lu->octets, attendu);
  // Les écritures vides sont acceptées sans rien changer, même sur un anneau plein.
  ASSERT_TRUE(t.ecrire(motif(1000), 0));
  EXPECT_TRUE(t.ecrire(VueOctets{}, 0));
  EXPECT_EQ(t.perdus(), 601);
}

TEST(TamponAudio, LecturesPartielles) {
  TamponAudio t(4000);
  ASSERT_TRUE(t.ecrire(motif(1279), 0));
  EXPECT_EQ(t.lire(1280), std::nullopt);
  EXPECT_EQ(t.disponible(), 1279);
  EXPECT_EQ(t.lire(0), std::nullopt);

  TamponAudio petit(100);
  std::array<std::uint8_t, 100> dest{};
  ASSERT_TRUE(petit.ecrire(motif(3), 0));
  EXPECT_EQ(petit.lire(std::span<std::uint8_t>(dest)).octets, 0);
  EXPECT_EQ(petit.disponible(), 3);
  ASSERT_TRUE(petit.ecrire(motif(4), 0));
  const auto lu = petit.lire(std::span<std::uint8_t>(dest));
  EXPECT_EQ(lu.octets, 4);
  EXPECT_EQ(petit.disponible(), 3);
  // La destination borne la lecture, en trames entières.
  ASSERT_TRUE(petit.ecrire(motif(20), 0));
  EXPECT_EQ(petit.lire(std::span<std::uint8_t>(dest).first(6)).octets, 4);

  TamponAudio j(200);
  ASSERT_TRUE(j.ecrire(motif(100), 0));
  EXPECT_EQ(j.jeter(10), 8);
  EXPECT_EQ(j.disponible(), 92);
  EXPECT_EQ(j.jeter(1000), 92);
  EXPECT_EQ(j.jeter(-5), 0);
}

TEST(TamponAudio, DureeEtHeureDUneLectureDansUnSegment) {
  EXPECT_EQ(TamponAudio::dureeNs(192'004), 1'000'020'833);
  EXPECT_EQ(TamponAudio::dureeNs(3), 0);
  EXPECT_EQ(TamponAudio::dureeNs(4), 20'833);
  // Dix heures d'audio ne débordent pas et restent exactes à la seconde.
  EXPECT_EQ(TamponAudio::dureeNs(192'000LL * 36'000), 36'000'000'000'000LL);

  TamponAudio t(400'000);
  const InstantNs debut = 5'000'000'000;
  ASSERT_TRUE(t.ecrire(motif(192'004 + 8), debut));
  ASSERT_TRUE(t.jeter(192'004) == 192'004);
  EXPECT_EQ(t.lire(4)->captureNs, debut + 1'000'020'833);
}

// Heures données à chaque bloc de 4 octets, écart par rapport à la continuation attendue.
TEST(TamponAudio, OuvertureDesSegments) {
  const InstantNs t0 = 1'000'000'000;
  const std::uint64_t trame = 20'833;  // durée de 4 octets

  // Exactement 2 ms d'écart : le bloc continue le segment, son heure est ignorée.
  TamponAudio a(64);
  a.ecrire(motif(4), t0);
  a.ecrire(motif(4), t0 + trame + 2'000'000);
  a.jeter(4);
  EXPECT_EQ(a.lire(4)->captureNs, t0 + trame);
  // 2 ms et une nanoseconde : nouveau segment, l'heure donnée fait foi.
  TamponAudio b(64);
  b.ecrire(motif(4), t0);
  b.ecrire(motif(4), t0 + trame + 2'000'001);
  b.jeter(4);
  EXPECT_EQ(b.lire(4)->captureNs, t0 + trame + 2'000'001);
  // Même vers le passé.
  TamponAudio c(64);
  c.ecrire(motif(4), t0);
  c.ecrire(motif(4), t0 + trame - 2'000'001);
  c.jeter(4);
  EXPECT_EQ(c.lire(4)->captureNs, t0 + trame - 2'000'001);

  // Après un refus, l'écriture suivante ouvre un segment même parfaitement continue : on ne
  // prolonge jamais une heure à travers le trou.
  TamponAudio d(8);
  d.ecrire(motif(8), t0);
  EXPECT_FALSE(d.ecrire(motif(4), t0 + 2 * trame));
  d.jeter(8);
  d.ecrire(motif(4), t0 + 2 * trame + 1000);  // continue à 1 µs près
  EXPECT_EQ(d.lire(4)->captureNs, t0 + 2 * trame + 1000);

  // Sans heure après avec heure : nouveau segment sans heure, puis une heure qui revient
  // en ouvre un autre.
  TamponAudio e(64);
  e.ecrire(motif(8), t0);
  e.ecrire(motif(8), std::nullopt);
  e.ecrire(motif(8), t0 + 4 * trame);
  EXPECT_EQ(e.lire(8)->captureNs, t0);
  EXPECT_EQ(e.lire(4)->captureNs, std::nullopt);
  EXPECT_EQ(e.lire(4)->captureNs, std::nullopt) << "au milieu d'un segment sans heure";
  EXPECT_EQ(e.lire(8)->captureNs, t0 + 4 * trame);
}

TEST(TamponAudio, HuitSegmentsSeulementSontRetenus) {
  TamponAudio t(1000);
  // Neuf ouvertures (sauts de 10 ms), aucune lecture.
  for (std::uint64_t i = 0; i < 9; ++i) t.ecrire(motif(8), 1'000'000'000 + i * 10'000'000);
  EXPECT_EQ(t.lire(8)->captureNs, std::nullopt) << "le premier segment est oublié";
  EXPECT_EQ(t.lire(8)->captureNs, 1'010'000'000u);
  // Une lecture au milieu d'un segment retenu est datée par lui.
  EXPECT_EQ(t.lire(4)->captureNs, 1'020'000'000u);
  EXPECT_EQ(t.lire(4)->captureNs, 1'020'000'000u + 20'833);
}

TEST(TamponAudio, HorlogeQuiFaitLeTour) {
  TamponAudio t(64);
  const InstantNs presqueFin = UINT64_MAX - 10'000;
  t.ecrire(motif(4), presqueFin);
  t.ecrire(motif(4), presqueFin + 20'833);  // repli modulo 2⁶⁴, continu
  t.jeter(4);
  EXPECT_EQ(t.lire(4)->captureNs, presqueFin + 20'833);
}

// Un producteur et un consommateur à plein régime : rien ne se perd ni ne se duplique, et
// le flux relu est exactement le flux écrit moins les blocs refusés.
TEST(ConcurrenceTamponAudio, ProducteurEtConsommateur) {
  TamponAudio t(4096);
  constexpr int blocs = 20'000;
  std::atomic<bool> fini{false};
  std::vector<std::uint32_t> ecrits;
  std::thread producteur([&] {
    std::array<std::uint32_t, 64> bloc{};
    for (int b = 0; b < blocs; ++b) {
      for (std::size_t i = 0; i < bloc.size(); ++i)
        bloc[i] = static_cast<std::uint32_t>(b * 64 + i);
      const VueOctets octets(reinterpret_cast<const std::uint8_t*>(bloc.data()), sizeof bloc);
      if (t.ecrire(octets, static_cast<InstantNs>(b) * 1'333'333)) {
        ecrits.insert(ecrits.end(), bloc.begin(), bloc.end());
      }
    }
    fini = true;
  });
  std::vector<std::uint32_t> lus;
  std::array<std::uint32_t, 100> dest{};
  while (true) {
    const bool termine = fini.load();
    const auto l =
        t.lire(std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(dest.data()), sizeof dest));
    lus.insert(lus.end(), dest.begin(), dest.begin() + l.octets / 4);
    if (termine && l.octets == 0) break;
  }
  producteur.join();
  EXPECT_EQ(lus, ecrits);
  EXPECT_EQ(t.perdus() + static_cast<std::int64_t>(ecrits.size() * 4),
            static_cast<std::int64_t>(blocs) * 256);
}

}  // namespace
}  // namespace ravlo
