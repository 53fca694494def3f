// La capture face à un système de son joué par le test : conversion des blocs du rappel,
// étapes du démarrage et leur démolition, refus du format, silence.
#include "link/capture/system_audio_tap.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "faux/plateforme_audio_fausse.hpp"
#include "plateforme/systeme.hpp"

namespace ravlo {
namespace {

using Fausse = faux::PlateformeAudioFausse;
constexpr InstantNs heure = 5'000'000'123;

struct Banc {
  std::shared_ptr<TamponAudio> tampon;
  std::shared_ptr<Fausse> plateforme = std::make_shared<Fausse>();
  std::unique_ptr<SystemAudioTap> tap;
  explicit Banc(std::int64_t capacite = 96'000, bool silencieux = false)
      : tampon(std::make_shared<TamponAudio>(capacite)),
        tap(std::make_unique<SystemAudioTap>(tampon, silencieux, plateforme)) {}
  std::vector<std::string> journalDepuis(std::size_t debut) const {
    return {plateforme->journal.begin() + static_cast<std::ptrdiff_t>(debut),
            plateforme->journal.end()};
  }
};

std::vector<std::int16_t> echantillons(const Octets& octets) {
  std::vector<std::int16_t> s(octets.size() / 2);
  std::memcpy(s.data(), octets.data(), octets.size());
  return s;
}

TEST(RappelCapture, BlocConvertiEn16BitsAvecSonHeureEtSonNiveau) {
  Banc banc;
  ASSERT_TRUE(banc.tap->demarrer().has_value());
  std::vector<float> flux(2 * 512);
  for (std::size_t i = 0; i < flux.size(); ++i)
    flux[i] = (i % 2 ? -1.0f : 1.0f) * (static_cast<float>(i / 2 % 500) / 1000.0f - 0.25f);
  const TamponBloc tampons[] = {{flux.data(), 4096}};
  ASSERT_TRUE(banc.plateforme->livrer(tampons, {HorodatageBloc::heureHoteValide, heure}));
  banc.plateforme->livrer(tampons, {0, heure});  // heure non valide
  EXPECT_EQ(banc.tap->livraisons(), (Livraisons{2, 1024}));
  const auto lu = banc.tampon->lire(2048);
  ASSERT_TRUE(lu.has_value());
  EXPECT_EQ(lu->captureNs, heure);
  const auto s = echantillons(lu->octets);
  double somme = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    ASSERT_EQ(s[i], static_cast<std::int16_t>(flux[i] * 32767.0f)) << i;
    somme += std::pow(s[i] / 32768.0, 2);
  }
  EXPECT_FLOAT_EQ(banc.tap->niveauDuBloc(), static_cast<float>(std::sqrt(somme / 1024)));
  EXPECT_EQ(banc.tampon->lire(2048)->captureNs, std::nullopt);
}

// Les blocs hors de l'ordinaire : comptés, écrits seulement pour ce qui est vraiment là,
// jamais lus au-delà du tampon reçu.
TEST(RappelCapture, BlocsHorsDeLOrdinaire) {
  std::vector<float> f(2 * 10'000, 0.5f);
  std::vector<float> droite(100, -0.25f);
  const std::uint32_t nonEntrelace = FormatFlux::drapeauNonEntrelace;
  struct Cas {
    const char* nom;
    std::uint32_t drapeaux;
    std::uint32_t octetsParTrame;
    std::vector<TamponBloc> tampons;
    std::int64_t capacite, fois;
    Livraisons livraisons;
    std::int64_t disponible, perdus;
  };
  const std::vector<Cas> cas{
      {"trop grand : 8192 trames gardées",
       0,
       8,
       {{f.data(), 80'000}},
       96'000,
       1,
       {1, 10'000},
       8192 * 4,
       0},
      {"court", 0, 8, {{f.data(), 7}}, 96'000, 1, {1, 0}, 0, 0},
      {"troué", 0, 8, {{nullptr, 1920}}, 96'000, 1, {1, 240}, 0, 0},
      {"vide", 0, 8, {}, 96'000, 1, {1, 0}, 0, 0},
      {"format incohérent", 0, 4, {{f.data(), 800}}, 96'000, 1, {1, 200}, 400, 0},
      {"anneau plein", 0, 8, {{f.data(), 4096}}, 4096, 3, {3, 1536}, 4096, 2048},
      {"non entrelacé, une voie", nonEntrelace, 4, {{f.data(), 400}}, 96'000, 1, {1, 100}, 0, 0},
      {"non entrelacé",
       nonEntrelace,
       4,
       {{f.data(), 400}, {droite.data(), 400}},
       96'000,
       1,
       {1, 100},
       400,
       0},
      {"non entrelacé, voies inégales",
       nonEntrelace,
       4,
       {{f.data(), 400}, {droite.data(), 40}},
       96'000,
       1,
       {1, 100},
       40,
       0},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    Banc banc(c.capacite);
    banc.plateforme->script.format.valeur.drapeaux |= c.drapeaux;
    banc.plateforme->script.format.valeur.octetsParTrame = c.octetsParTrame;
    ASSERT_TRUE(banc.tap->demarrer().has_value());
    for (int i = 0; i < c.fois; ++i) banc.plateforme->livrer(c.tampons);
    EXPECT_EQ(banc.tap->livraisons(), c.livraisons);
    EXPECT_EQ(banc.tampon->disponible(), c.disponible);
    EXPECT_EQ(banc.tampon->perdus(), c.perdus);
    if (c.disponible == 0) {
      EXPECT_EQ(banc.tap->niveauDuBloc(), 0.0f);
    } else if (c.tampons.size() == 2) {
      EXPECT_EQ(echantillons(banc.tampon->lire(4)->octets),
                (std::vector<std::int16_t>{16383, -8191}));
    }
  }
}

// Le fil du son livre pendant que le fil principal lit les cellules puis arrête la capture :
// plus aucun rappel ensuite.
TEST(ConcurrenceRappelCapture, LivraisonsPendantLectureEtArret) {
  Banc banc(1 << 20);
  ASSERT_TRUE(banc.tap->demarrer().has_value());
  const std::vector<float> flux(2 * 240, 0.25f);
  std::atomic<bool> fin = false;
  std::atomic<std::int64_t> livres = 0;
  std::thread son([&] {
    const TamponBloc tampons[] = {{flux.data(), 240 * 8}};
    for (InstantNs t = heure; !fin.load(); t += 5'000'000) {
      if (banc.plateforme->livrer(tampons, {HorodatageBloc::heureHoteValide, t})) ++livres;
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
  EXPECT_EQ(banc.tap->livraisons(), apresArret);
  EXPECT_EQ(apresArret.rappels, livres.load());
}

// Chaque étape qui échoue rend son erreur ; `arreter` démolit ensuite ce qui a été créé, et
// seulement cela, une seule fois.
TEST(SystemAudioTap, ChaqueEtapeEnEchecDonneSonErreurEtLArretNeDemolitQueCeQuiExiste) {
  using E = SystemAudioTapError;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infini = std::numeric_limits<double>::infinity();
  const std::vector<std::string> tout{"arreter 9 3", "detruireRappel 9 3", "detruireAgregat 9",
                                      "detruireTap 7"};
  const std::vector<std::string> tap{"detruireTap 7"};
  const std::vector<std::string> agregat{"detruireAgregat 9", "detruireTap 7"};
  struct Echec {
    const char* nom;
    std::function<void(Fausse::Script&)> scripter;
    std::optional<E> attendue;
    std::vector<std::string> demolition;
  };
  const std::vector<Echec> echecs{
      {"aucun", [](auto&) {}, std::nullopt, tout},
      {"sortie",
       [](auto& s) { s.sortie.statut = -5; },
       E::coreAudio(E::etapeSortieParDefaut, -5),
       {}},
      {"identifiant",
       [](auto& s) { s.identifiantSortie.statut = 6; },
       E::coreAudio(E::etapeIdentifiantSortie, 6),
       {}},
      {"identifiant absent",
       [](auto& s) { s.identifiantSortie.valeur.reset(); },
       E::coreAudio(E::etapeIdentifiantSortie, 0),
       {}},
      {"tap refusé", [](auto& s) { s.tap = {-1, 0}; }, E::tapImpossible(-1), {}},
      {"tap nul", [](auto& s) { s.tap = {0, 0}; }, E::tapImpossible(0), {}},
      {"format", [](auto& s) { s.format.statut = 3; }, E::coreAudio(E::etapeFormatTap, 3), tap},
      {"fréquence nulle", [](auto& s) { s.format.valeur.frequence = 0; },
       E::coreAudio(E::etapeFormatTap, 0), tap},
      {"fréquence NaN", [&](auto& s) { s.format.valeur.frequence = nan; },
       E::coreAudio(E::etapeFormatTap, 0), tap},
      {"fréquence infinie", [&](auto& s) { s.format.valeur.frequence = infini; },
       E::coreAudio(E::etapeFormatTap, 0), tap},
      {"trame vide", [](auto& s) { s.format.valeur.octetsParTrame = 0; },
       E::coreAudio(E::etapeFormatTap, 0), tap},
      {"agrégat", [](auto& s) { s.agregat = {12, 0}; }, E::coreAudio(E::etapeAgregat, 12), tap},
      {"agrégat refusé mais rendu", [](auto& s) { s.agregat = {12, 9}; },
       E::coreAudio(E::etapeAgregat, 12), agregat},
      {"rappel", [](auto& s) { s.rappel = {4, std::nullopt}; }, E::coreAudio(E::etapeRappel, 4),
       agregat},
      {"rappel absent", [](auto& s) { s.rappel = {0, std::nullopt}; },
       E::coreAudio(E::etapeRappel, 0), agregat},
      {"démarrage", [](auto& s) { s.demarrer = 8; }, E::coreAudio(E::etapeDemarrage, 8), tout},
  };
  for (const Echec& echec : echecs) {
    SCOPED_TRACE(echec.nom);
    Banc banc;
    echec.scripter(banc.plateforme->script);
    const auto resultat = banc.tap->demarrer();
    EXPECT_EQ(resultat.has_value(), !echec.attendue);
    if (echec.attendue && !resultat) {
      EXPECT_EQ(resultat.error(), *echec.attendue);
    }
    const std::size_t avant = banc.plateforme->journal.size();
    banc.tap->arreter();
    banc.tap->arreter();
    EXPECT_EQ(banc.journalDepuis(avant), echec.demolition);
    EXPECT_FALSE(banc.plateforme->agregatVivant);
    EXPECT_FALSE(banc.plateforme->rappelInstalle);
    EXPECT_FALSE(banc.plateforme->description.has_value());
  }
}

// Les bits d'abord, puis les voies, puis la fréquence (tronquée à l'entier) ; aucun rappel
// pour un format refusé.
TEST(SystemAudioTap, LeFormatRefuseNommeLaPremiereValeurFautive) {
  using E = SystemAudioTapError;
  const std::string l = localeCourante();
  struct Format {
    std::uint32_t drapeaux, bits, canaux;
    double frequence;
    E attendue;
  };
  const std::uint32_t entier = FormatFlux::drapeauEntierSigne | FormatFlux::drapeauCompact;
  const std::uint32_t flottant = Fausse::Script{}.format.valeur.drapeaux;
  for (const Format& f : std::vector<Format>{
           {entier, 16, 2, 48'000, E::bitsInattendus(16, l)},
           {entier, 32, 2, 48'000, E::bitsInattendus(32, l)},
           {entier, 16, 6, 44'100, E::bitsInattendus(16, l)},
           {flottant, 32, 6, 44'100, E::canauxInattendus(6, l)},
           {flottant, 32, 2, 47'999.99, E::frequenceInattendue(47'999, l)},
           {flottant, 32, 2, 1e20, E::frequenceInattendue(1e20, l)},
       }) {
    Banc banc;
    auto& format = banc.plateforme->script.format.valeur;
    format.drapeaux = f.drapeaux;
    format.bitsParCanal = f.bits;
    format.canauxParTrame = f.canaux;
    format.frequence = f.frequence;
    const auto resultat = banc.tap->demarrer();
    ASSERT_FALSE(resultat.has_value());
    EXPECT_EQ(resultat.error(), f.attendue) << resultat.error().description();
    EXPECT_FALSE(banc.plateforme->rappelInstalle);
  }
  EXPECT_NE(E::frequenceInattendue(47'999.99, "fr").description("fr").find(" 47999 Hz"),
            std::string::npos);
}

// Choisi avant le démarrage, le silence sert au démarrage ; changé en route, il passe au
// système ; refusé par lui, la capture reste comme elle était ; arrêtée, plus rien n'y touche.
TEST(SystemAudioTap, LeSilence) {
  Banc banc;
  EXPECT_TRUE(banc.tap->changerSilence(true));
  EXPECT_TRUE(banc.plateforme->journal.empty());
  ASSERT_TRUE(banc.tap->demarrer().has_value());
  EXPECT_EQ(banc.plateforme->description, (DescriptionTap{"Ravlo Link", true}));
  EXPECT_TRUE(banc.tap->changerSilence(false));
  EXPECT_EQ(banc.plateforme->description, (DescriptionTap{"Ravlo Link", false}));
  EXPECT_TRUE(banc.tap->changerSilence(true));
  const std::function<void(Fausse::Script&)> refus[] = {
      [](auto& s) { s.ecrireDescription = 5; }, [](auto& s) { s.lireDescription = 2; },
      [](auto& s) { s.descriptionAbsente = true; }};
  for (const auto& scripter : refus) {
    banc.plateforme->script = {};
    scripter(banc.plateforme->script);
    EXPECT_FALSE(banc.tap->changerSilence(false));
    EXPECT_TRUE(banc.plateforme->description->silencieux);
  }
  banc.tap->arreter();
  const std::size_t apres = banc.plateforme->journal.size();
  EXPECT_TRUE(banc.tap->changerSilence(true));
  EXPECT_EQ(banc.plateforme->journal.size(), apres);
}

}  // namespace
}  // namespace ravlo
