// SPDX-License-Identifier: MPL-2.0
// La capture face à un serveur de son joué par le test : démarrage refusé, silence, panne,
// texte des erreurs. La conversion des blocs du rappel : dans temps_reel/, qui la compte aussi.
#include "link/capture/capture_systeme.hpp"

#include <gtest/gtest.h>

#include <atomic>
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
