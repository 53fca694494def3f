#include "link/capture/rappel_capture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "faux/plateforme_audio_fausse.hpp"
#include "link/capture/system_audio_tap.hpp"

namespace ravlo {
namespace {

using Fausse = faux::PlateformeAudioFausse;

constexpr InstantNs heure = 5'000'000'123;

// Flux stéréo entrelacé : gauche i/1000 − 0,25, droite son opposé.
std::vector<float> fluxEntrelace(std::size_t trames) {
  std::vector<float> flux(2 * trames);
  for (std::size_t i = 0; i < trames; ++i) {
    flux[2 * i] = static_cast<float>(i % 500) / 1000.0f - 0.25f;
    flux[2 * i + 1] = -flux[2 * i];
  }
  return flux;
}

TamponBloc bloc(const std::vector<float>& f, std::size_t octets) {
  return {f.data(), static_cast<std::uint32_t>(octets)};
}

TamponBloc bloc(const std::vector<float>& f) {
  return bloc(f, f.size() * sizeof(float));
}

std::vector<std::int16_t> echantillons(const Octets& octets) {
  std::vector<std::int16_t> s(octets.size() / 2);
  std::memcpy(s.data(), octets.data(), octets.size());
  return s;
}

struct Banc {
  std::shared_ptr<TamponAudio> tampon;
  std::shared_ptr<Fausse> plateforme = std::make_shared<Fausse>();
  std::unique_ptr<SystemAudioTap> tap;

  explicit Banc(std::int64_t capacite = 96'000, FormatFlux format = Fausse::stereoFlottant48k())
      : tampon(std::make_shared<TamponAudio>(capacite)) {
    plateforme->script.format.valeur = format;
    tap = std::make_unique<SystemAudioTap>(tampon, false, plateforme);
    EXPECT_TRUE(tap->demarrer().has_value());
  }
};

TEST(RappelCapture, BlocEntrelaceDe512TramesAvecSonHeure) {
  Banc banc;
  const auto flux = fluxEntrelace(512);
  const TamponBloc tampons[] = {bloc(flux)};
  ASSERT_EQ(tampons[0].octets, 4096u);
  ASSERT_TRUE(banc.plateforme->livrer(tampons, {HorodatageBloc::heureHoteValide, heure}));

  EXPECT_EQ(banc.tap->livraisons(), (Livraisons{1, 512}));
  ASSERT_EQ(banc.tampon->disponible(), 2048);
  const auto lu = banc.tampon->lire(2048);
  ASSERT_TRUE(lu.has_value());
  EXPECT_EQ(lu->captureNs, heure);

  const auto s = echantillons(lu->octets);
  double somme = 0;
  for (std::size_t i = 0; i < 512; ++i) {
    ASSERT_EQ(s[2 * i], static_cast<std::int16_t>(flux[2 * i] * 32767.0f)) << i;
    ASSERT_EQ(s[2 * i + 1], static_cast<std::int16_t>(flux[2 * i + 1] * 32767.0f)) << i;
    for (int voie = 0; voie < 2; ++voie) somme += std::pow(s[2 * i + voie] / 32768.0, 2);
  }
  EXPECT_FLOAT_EQ(banc.tap->niveauDuBloc(), static_cast<float>(std::sqrt(somme / 1024)));
  EXPECT_GT(banc.tap->niveauDuBloc(), 0.1f);
}

TEST(RappelCapture, SansHeureValideLesTramesPartentSansHeure) {
  Banc banc;
  const auto flux = fluxEntrelace(64);
  const TamponBloc tampons[] = {bloc(flux)};
  banc.plateforme->livrer(tampons, {0, heure});
  const auto lu = banc.tampon->lire(256);
  ASSERT_TRUE(lu.has_value());
  EXPECT_EQ(lu->captureNs, std::nullopt);
}

TEST(RappelCapture, UnBlocTropGrandNeLivreQueSes8192PremieresTrames) {
  Banc banc;
  const auto flux = fluxEntrelace(10'000);
  const TamponBloc tampons[] = {bloc(flux)};
  banc.plateforme->livrer(tampons, {HorodatageBloc::heureHoteValide, heure});
  EXPECT_EQ(banc.tap->livraisons(), (Livraisons{1, 10'000}));
  EXPECT_EQ(banc.tampon->disponible(), 8192 * 4);
  const auto lu = banc.tampon->lire(8192 * 4);
  const auto s = echantillons(lu->octets);
  EXPECT_EQ(s[2 * 8191], static_cast<std::int16_t>(flux[2 * 8191] * 32767.0f));
}

// Courts, troués ou incomplets : comptés puis sautés, sans rien écrire ni changer le niveau.
TEST(RappelCapture, LesBlocsInutilisablesSontComptesPuisSautes) {
  Banc banc;
  const auto flux = fluxEntrelace(16);
  const TamponBloc plein[] = {bloc(flux)};
  banc.plateforme->livrer(plein);
  const float niveau = banc.tap->niveauDuBloc();
  ASSERT_GT(niveau, 0.0f);
  banc.tampon->jeter(64);

  const TamponBloc court[] = {bloc(flux, 7)};
  const TamponBloc trou[] = {TamponBloc{nullptr, 1920}};
  banc.plateforme->livrer(court);
  banc.plateforme->livrer(trou);
  banc.plateforme->livrer({});
  EXPECT_EQ(banc.tap->livraisons(), (Livraisons{4, 16 + 0 + 240 + 0}));
  EXPECT_EQ(banc.tampon->disponible(), 0);
  EXPECT_EQ(banc.tap->niveauDuBloc(), niveau);
}

TEST(RappelCapture, FormatNonEntrelace) {
  FormatFlux format = Fausse::stereoFlottant48k();
  format.drapeaux |= FormatFlux::drapeauNonEntrelace;
  format.octetsParTrame = 4;
  Banc banc(96'000, format);
  const std::vector<float> gauche(100, 0.5f);
  const std::vector<float> droite(100, -0.25f);

  const TamponBloc seul[] = {bloc(gauche)};
  banc.plateforme->livrer(seul);
  EXPECT_EQ(banc.tap->livraisons(), (Livraisons{1, 100}));
  EXPECT_EQ(banc.tampon->disponible(), 0) << "une seule voie : rien à convertir";

  const TamponBloc deux[] = {bloc(gauche), bloc(droite)};
  banc.plateforme->livrer(deux);
  EXPECT_EQ(banc.tap->livraisons(), (Livraisons{2, 200}));
  const auto lu = banc.tampon->lire(400);
  ASSERT_TRUE(lu.has_value());
  const auto s = echantillons(lu->octets);
  EXPECT_EQ(s[0], 16383);
  EXPECT_EQ(s[1], -8191);
  EXPECT_EQ(s[198], 16383);
  EXPECT_EQ(s[199], -8191);

  // Une seconde voie plus courte borne la conversion.
  const TamponBloc inegaux[] = {bloc(gauche), bloc(droite, 40)};
  banc.plateforme->livrer(inegaux);
  EXPECT_EQ(banc.tampon->disponible(), 10 * 4);
}

// Un format qui annonce 4 octets par trame pour de la stéréo flottante entrelacée : les
// trames comptées doublent, mais la conversion ne lit jamais au-delà du tampon reçu.
TEST(RappelCapture, UnFormatIncoherentNeFaitPasLireHorsDuTampon) {
  FormatFlux format = Fausse::stereoFlottant48k();
  format.octetsParTrame = 4;
  Banc banc(96'000, format);
  const auto flux = std::make_unique<float[]>(2 * 100);
  for (int i = 0; i < 200; ++i) flux[static_cast<std::size_t>(i)] = 0.5f;
  const TamponBloc tampons[] = {TamponBloc{flux.get(), 800}};
  banc.plateforme->livrer(tampons);
  EXPECT_EQ(banc.tap->livraisons(), (Livraisons{1, 200}));
  EXPECT_EQ(banc.tampon->disponible(), 100 * 4) << "100 trames réellement présentes";
}

TEST(RappelCapture, AnneauPleinLeBlocEstPerdu) {
  Banc banc(4096);
  const auto flux = fluxEntrelace(512);
  const TamponBloc tampons[] = {bloc(flux)};
  banc.plateforme->livrer(tampons);
  banc.plateforme->livrer(tampons);
  banc.plateforme->livrer(tampons);
  EXPECT_EQ(banc.tampon->disponible(), 4096);
  EXPECT_EQ(banc.tampon->perdus(), 2048);
  EXPECT_EQ(banc.tap->livraisons(), (Livraisons{3, 1536}));
}

TEST(RappelCapture, CompteursEtNiveauSurviventALArret) {
  Banc banc;
  const auto flux = fluxEntrelace(480);
  const TamponBloc tampons[] = {bloc(flux)};
  banc.plateforme->livrer(tampons);
  const float niveau = banc.tap->niveauDuBloc();
  banc.tap->arreter();
  EXPECT_FALSE(banc.plateforme->livrer(tampons)) << "plus de rappel après l'arrêt";
  EXPECT_EQ(banc.tap->livraisons(), (Livraisons{1, 480}));
  EXPECT_EQ(banc.tap->niveauDuBloc(), niveau);
}

// Le fil du son livre pendant que le fil principal lit les cellules puis arrête la capture.
TEST(ConcurrenceRappelCapture, LivraisonsPendantLectureEtArret) {
  Banc banc(1 << 20);
  const auto flux = fluxEntrelace(240);
  std::atomic<bool> fin = false;
  std::atomic<std::int64_t> livres = 0;
  std::thread son([&] {
    const TamponBloc tampons[] = {bloc(flux)};
    InstantNs t = heure;
    while (!fin.load()) {
      if (banc.plateforme->livrer(tampons, {HorodatageBloc::heureHoteValide, t})) ++livres;
      t += 5'000'000;
    }
  });
  while (livres.load() < 200) {
    const Livraisons l = banc.tap->livraisons();
    EXPECT_EQ(l.trames, 240 * l.rappels);
    EXPECT_LE(banc.tap->niveauDuBloc(), 1.0f);
  }
  banc.tap->arreter();
  const Livraisons apresArret = banc.tap->livraisons();
  fin = true;
  son.join();
  EXPECT_EQ(banc.tap->livraisons(), apresArret) << "aucun rappel après l'arrêt";
  EXPECT_EQ(apresArret.rappels, livres.load());
}

}  // namespace
}  // namespace ravlo
