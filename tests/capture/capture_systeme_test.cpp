// SPDX-License-Identifier: MPL-2.0
// La capture face à un serveur de son joué par le test : conversion des blocs du rappel,
// démarrage refusé, silence, panne, texte des erreurs.
#include "link/capture/capture_systeme.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <set>
#include <thread>

#include "faux/capture_fausse.hpp"
#include "link/capture/texte_erreur_capture.hpp"

namespace ravlo {
namespace {

using Cas = ErreurCapture::Cas;
constexpr InstantNs heure = 5'000'000'123;

struct Banc {
  std::shared_ptr<TamponAudio> tampon;
  std::shared_ptr<faux::SonFaux> son = std::make_shared<faux::SonFaux>();
  std::unique_ptr<CaptureSysteme> capture;
  explicit Banc(std::int64_t capacite = 96'000, bool muet = false)
      : tampon(std::make_shared<TamponAudio>(capacite)),
        capture(std::make_unique<CaptureSysteme>(tampon, muet, son->fabrique()())) {}
};

std::vector<std::int16_t> echantillons(const Octets& octets) {
  std::vector<std::int16_t> s(octets.size() / 2);
  std::memcpy(s.data(), octets.data(), octets.size());
  return s;
}

// Chaque bloc converti en 16 bits avec son heure et son niveau. Les blocs hors de
// l'ordinaire : comptés, écrits pour ce qui est vraiment là, entiers même plus longs que la
// conversion (un seul segment, daté du début), jamais lus au-delà du bloc reçu.
TEST(RappelCapture, BlocsConvertisDatesMesuresEtHorsDeLOrdinaire) {
  Banc banc;
  ASSERT_TRUE(banc.capture->demarrer().has_value());
  std::vector<float> flux(2 * 512);
  for (std::size_t i = 0; i < flux.size(); ++i)
    flux[i] = (i % 2 ? -1.0f : 1.0f) * (static_cast<float>(i / 2 % 500) / 1000.0f - 0.25f);
  ASSERT_TRUE(banc.son->livrer({flux, 0, heure}));
  banc.son->livrer({flux, 0, std::nullopt});
  EXPECT_EQ(banc.capture->livraisons(), (Livraisons{2, 1024}));
  const auto lu = banc.tampon->lire(2048);
  ASSERT_TRUE(lu.has_value());
  EXPECT_EQ(lu->captureNs, heure);
  const auto s = echantillons(lu->octets);
  double somme = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    ASSERT_EQ(s[i], static_cast<std::int16_t>(flux[i] * 32767.0f)) << i;
    somme += std::pow(s[i] / 32768.0, 2);
  }
  EXPECT_FLOAT_EQ(banc.capture->niveauDuBloc(), static_cast<float>(std::sqrt(somme / 1024)));
  EXPECT_EQ(banc.tampon->lire(2048)->captureNs, std::nullopt);

  std::vector<float> f(2 * 10'000 + 1, 0.5f);
  const std::span<const float> tout(f);
  const struct {
    const char* nom;
    BlocCapte bloc;
    std::int64_t capacite, fois;
    Livraisons livraisons;
    std::int64_t disponible, perdus;
  } cas[]{
      {"plus long", {tout.first(20'000), 0, heure}, 96'000, 1, {1, 10'000}, 40'000, 0},
      {"demi-trame en trop", {tout.first(2 * 100 + 1), 0, heure}, 96'000, 1, {1, 100}, 400, 0},
      {"une demi-trame", {tout.first(1), 0, heure}, 96'000, 1, {1, 0}, 0, 0},
      {"troué", {{}, 240, heure}, 96'000, 1, {1, 0}, 0, 0},
      {"vide", {}, 96'000, 1, {1, 0}, 0, 0},
      {"anneau plein", {tout.first(2 * 512), 0, heure}, 4096, 3, {3, 1536}, 4096, 2048},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    Banc b(c.capacite);
    ASSERT_TRUE(b.capture->demarrer().has_value());
    for (int i = 0; i < c.fois; ++i) b.son->livrer(c.bloc);
    EXPECT_EQ(b.capture->livraisons(), c.livraisons);
    EXPECT_EQ(b.tampon->disponible(), c.disponible);
    EXPECT_EQ(b.tampon->perdus(), c.perdus);
    EXPECT_TRUE(c.disponible != 0 || b.capture->niveauDuBloc() == 0.0f);
    if (c.disponible != 40'000) continue;
    const auto segment = b.tampon->lire(40'000);
    ASSERT_TRUE(segment.has_value());
    EXPECT_EQ(segment->octets.size(), 40'000u);
    EXPECT_EQ(segment->captureNs, heure);
    EXPECT_EQ(echantillons(segment->octets).back(), static_cast<std::int16_t>(0.5f * 32767.0f));
  }
}

// Le fil du son livre pendant que le fil principal lit les cellules puis arrête la capture :
// plus aucun rappel ensuite.
TEST(ConcurrenceRappelCapture, LivraisonsPendantLectureEtArret) {
  Banc banc(1 << 20);
  ASSERT_TRUE(banc.capture->demarrer().has_value());
  const std::vector<float> flux(2 * 240, 0.25f);
  std::atomic<bool> fin = false;
  std::atomic<std::int64_t> livres = 0;
  std::thread son([&] {
    for (InstantNs t = heure; !fin.load(); t += 5'000'000) {
      if (banc.son->livrer({flux, 0, t})) ++livres;
    }
  });
  while (livres.load() < 200) {
    const Livraisons l = banc.capture->livraisons();
    EXPECT_EQ(l.trames, 240 * l.rappels);
    EXPECT_LE(banc.capture->niveauDuBloc(), 1.0f);
  }
  banc.capture->arreter();
  const Livraisons apresArret = banc.capture->livraisons();
  fin = true;
  son.join();
  EXPECT_EQ(banc.capture->livraisons(), apresArret);
  EXPECT_EQ(apresArret.rappels, livres.load());
}

// Le démarrage refusé rend l'erreur du serveur telle quelle, que chaque cas dit dans son texte
// avec le code du serveur, une fois et sans marque restée. Un bloc livré avant même que le
// démarrage rende est déjà compté ; la panne d'une capture qui tourne se lit, et plus rien
// après l'arrêt, qui se rappelle sans effet. Le silence choisi avant le démarrage sert au
// démarrage ; changé en route, il passe au serveur ; refusé par lui, la capture reste comme
// elle était ; arrêtée, plus rien n'y touche.
TEST(CaptureSysteme, RefusTextesPanneArretEtSilence) {
  std::set<std::string> textes;
  for (const Cas cas : {Cas::serveurInjoignable, Cas::sortieIntrouvable, Cas::silenceImpossible,
                        Cas::fluxImpossible, Cas::sortiePerdue}) {
    Banc banc;
    banc.son->script.demarrer = ErreurCapture{cas, -42};
    EXPECT_EQ(banc.capture->demarrer(), std::unexpected(ErreurCapture{cas, -42}));
    EXPECT_FALSE(banc.capture->echec().has_value());
    const std::string t = texteErreurCapture({cas, -42}, "fr");
    EXPECT_NE(t.find("(code -42)"), std::string::npos) << t;
    EXPECT_EQ(t.find('%'), std::string::npos) << t;
    textes.insert(t);
  }
  EXPECT_EQ(textes.size(), 5u);

  Banc banc(96'000, true);
  banc.son->script.blocAuDemarrage.assign(2 * 240, 0.5f);
  ASSERT_TRUE(banc.capture->demarrer().has_value());
  EXPECT_EQ(banc.capture->livraisons(), (Livraisons{1, 240}));
  EXPECT_TRUE(banc.son->muet);
  EXPECT_FALSE(banc.capture->echec().has_value());
  banc.son->tomberEnPanne(ErreurCapture{Cas::sortiePerdue, 11});
  EXPECT_EQ(banc.capture->echec(), (ErreurCapture{Cas::sortiePerdue, 11}));
  banc.capture->arreter();
  banc.capture->arreter();
  EXPECT_FALSE(banc.capture->echec().has_value());
  EXPECT_FALSE(banc.son->demarree());
  EXPECT_EQ(banc.son->journal, (std::vector<std::string>{"demarrer muet", "arreter"}));

  Banc b;
  EXPECT_TRUE(b.capture->changerSilence(true));
  EXPECT_TRUE(b.son->journal.empty());
  ASSERT_TRUE(b.capture->demarrer().has_value());
  EXPECT_TRUE(b.son->muet);
  EXPECT_TRUE(b.capture->changerSilence(false));
  EXPECT_FALSE(b.son->muet);
  b.son->script.silence = ErreurCapture{Cas::silenceImpossible, 5};
  EXPECT_FALSE(b.capture->changerSilence(true));
  EXPECT_FALSE(b.son->muet);
  EXPECT_TRUE(b.capture->ordinateurMuet()) << "le réglage est retenu";
  b.capture->arreter();
  const std::size_t apres = b.son->journal.size();
  EXPECT_TRUE(b.capture->changerSilence(false));
  EXPECT_EQ(b.son->journal.size(), apres);
}

}  // namespace
}  // namespace ravlo
