// SPDX-License-Identifier: MPL-2.0
// Les chemins temps réel (rappel de capture et ce qu'il écrit, anneau, rendu de lecture, envoi au
// réveil, rappels des sorties PulseAudio et PipeWire et de la capture PipeWire, boucle d'écriture
// de la sortie ALSA) n'allouent rien. Ce binaire remplace l'opérateur new global : toute
// allocation, même cachée dans la bibliothèque standard, est vue.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include <asio/ip/udp.hpp>

#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"
#include "faux/capture_fausse.hpp"
#include "faux/config_alsa.hpp"
#include "faux/file_manuelle.hpp"
#include "link/capture/capture_systeme.hpp"
#include "link/capture/rappel_capture.hpp"
#include "link/diffusion/emetteur_audio.hpp"
#include "plateforme/alsa/sortie_alsa.hpp"
#include "plateforme/connexion_udp.hpp"
#include "plateforme/file_serie.hpp"
#include "plateforme/pipewire/flux_capture_pipewire.hpp"
#include "plateforme/pipewire/sortie_pipewire.hpp"
#include "plateforme/pulseaudio/capture_pulse.hpp"
#include "plateforme/pulseaudio/sortie_pulse.hpp"
#include "protocol/audio/tampon_audio.hpp"
#include "recepteur/rendu_lecture.hpp"
#include "recepteur/voix_melee.hpp"

// Tenus par l'opérateur new de remplacement (allocations.cpp, à part : vu d'ici, le
// compilateur croirait des `free` appariés au new d'origine).
extern thread_local bool compter;
extern thread_local std::size_t allocations;

namespace ravlo {
namespace {

// Allocations faites par ce fil pendant `f`.
template <typename F>
std::size_t allouees(F&& f) {
  allocations = 0;
  compter = true;
  f();
  compter = false;
  return allocations;
}

struct Capture {
  std::shared_ptr<TamponAudio> tampon;
  std::shared_ptr<faux::SonFaux> son = std::make_shared<faux::SonFaux>();
  CaptureSysteme capture;
  explicit Capture(std::int64_t capacite)
      : tampon(std::make_shared<TamponAudio>(capacite)), capture(tampon, false, son->fabrique()()) {
    EXPECT_TRUE(capture.demarrer().has_value());
  }
};

std::vector<std::int16_t> echantillons(const Octets& octets) {
  std::vector<std::int16_t> s(octets.size() / 2);
  std::memcpy(s.data(), octets.data(), octets.size());
  return s;
}

// Le rappel tel que le serveur de son l'appelle. Chaque bloc converti en 16 bits avec son heure
// et son niveau, l'anneau sonnant le réveil d'une vraie file. Les blocs hors de l'ordinaire :
// comptés, écrits pour ce qui est vraiment là, entiers même plus longs que la conversion (un
// seul segment, daté du début), jamais lus au-delà du bloc reçu, jusqu'à l'anneau plein.
TEST(TempsReel, LeRappelDeCaptureNAlloueRien) {
  constexpr InstantNs heure = 5'000'000'123;
  Capture c(96'000);
  FileSerie file("ravlo.essai");
  std::promise<void> reveille;
  auto reveil = file.reveil([&, une = true]() mutable {
    if (std::exchange(une, false)) reveille.set_value();
  });
  c.tampon->brancherReveil(reveil.get(), flux::octetsParPaquet);
  std::vector<float> flux(2 * 512);
  for (std::size_t i = 0; i < flux.size(); ++i)
    flux[i] = (i % 2 ? -1.0f : 1.0f) * (static_cast<float>(i / 2 % 500) / 1000.0f - 0.25f);
  EXPECT_EQ(allouees([&] {
              c.son->livrer({flux, 0, heure});
              c.son->livrer({flux, 0, std::nullopt});
            }),
            0u);
  EXPECT_EQ(reveille.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  c.tampon->brancherReveil(nullptr, 0);
  EXPECT_EQ(c.capture.livraisons(), (Livraisons{2, 1024}));
  const auto lu = c.tampon->lire(2048);
  ASSERT_TRUE(lu.has_value());
  EXPECT_EQ(lu->captureNs, heure);
  const auto s = echantillons(lu->octets);
  double somme = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    ASSERT_EQ(s[i], static_cast<std::int16_t>(flux[i] * 32767.0f)) << i;
    somme += std::pow(s[i] / 32768.0, 2);
  }
  EXPECT_FLOAT_EQ(c.capture.niveauDuBloc(), static_cast<float>(std::sqrt(somme / 1024)));
  EXPECT_EQ(c.tampon->lire(2048)->captureNs, std::nullopt);

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
  for (const auto& k : cas) {
    SCOPED_TRACE(k.nom);
    Capture b(k.capacite);
    EXPECT_EQ(allouees([&] {
                for (int i = 0; i < k.fois; ++i) b.son->livrer(k.bloc);
              }),
              0u);
    EXPECT_EQ(b.capture.livraisons(), k.livraisons);
    EXPECT_EQ(b.tampon->disponible(), k.disponible);
    EXPECT_EQ(b.tampon->perdus(), k.perdus);
    EXPECT_TRUE(k.disponible != 0 || b.capture.niveauDuBloc() == 0.0f);
    if (k.disponible != 40'000) continue;
    const auto segment = b.tampon->lire(40'000);
    ASSERT_TRUE(segment.has_value());
    EXPECT_EQ(segment->octets.size(), 40'000u);
    EXPECT_EQ(segment->captureNs, heure);
    EXPECT_EQ(echantillons(segment->octets).back(), static_cast<std::int16_t>(0.5f * 32767.0f));
  }
}

// Le rendu du récepteur, rééchantillonné à plusieurs vitesses ou non, sur une file qui passe
// par l'amorçage, le désordre, la perte masquée en fondu, la file à sec (plus rien n'arrive),
// le réamorçage, les recalages et le rattrapage en fondu enchaîné (tout arrive en triple) ; un
// rendu sur deux peut attendre, et sans rééchantillonnage il attend pendant le trou. La voix
// qui dit le code y est prise, mêlée puis rendue par ce fil : ni allocation ni libération de
// ce côté (c'est le fil principal qui la libère).
TEST(TempsReel, LeRenduDeLectureEtLaVoixMeleeNAllouentRien) {
  for (const bool reechantillonner : {true, false}) {
    auto lecture = std::make_shared<FileLecture>(1000, reechantillonner);
    RenduLecture rendu(lecture, reechantillonner);
    VoixMelee voix;
    auto prete = std::make_unique<VoixPrete>();
    prete->entrelace.assign(2 * 1000, 1000);
    ASSERT_TRUE(voix.confier(std::move(prete)));
    std::vector<float> bloc(2 * 441);
    const Octets paquet(1280, 0x22);
    std::uint32_t n = 0;
    int attentes = 0;
    for (int i = 0; i < 240; ++i) {
      rendu.changerVitesse(i % 4 * 500.0 - 1000.0);
      const int paquets = i < 60 ? 1 : i < 80 ? 0 : 3;
      for (int p = 0; p < paquets; ++p, ++n) {
        const std::uint32_t s = n ^ (n / 2 % 7 == 3 ? 1u : 0u);         // des paires inversées
        if (s % 17 != 5) lecture->placer(s, s * 6'666'667ULL, paquet);  // un sur 17 perdu
      }
      // Des recalages, sauts cherchant leur phase compris.
      if (i % 25 == 10) lecture->decaler(i % 50 == 10 ? 400 : -200, true);
      const auto h = i % 5 == 0 ? std::nullopt : std::optional<InstantNs>(n * 6'666'667ULL);
      EXPECT_EQ(allouees([&] {
                  if (!rendu.rendre(bloc, h, i % 2 == 0)) ++attentes;
                  voix.meler(bloc);
                }),
                0u)
          << i;
    }
    const auto e = lecture->etat();
    EXPECT_GT(e.trous, 0);
    EXPECT_GT(e.masques, 0);
    EXPECT_GT(e.reordonnes, 0);
    EXPECT_GT(e.tramesSautees, 0);
    EXPECT_EQ(e.rattrapages > 0, reechantillonner);
    EXPECT_EQ(e.recalages > 0, reechantillonner);
    EXPECT_EQ(attentes > 0, !reechantillonner);
    EXPECT_EQ(voix.recuperer(), 1u) << "jouée jusqu'au bout";
  }
}

// L'émetteur sur une vraie connexion UDP (boucle locale) : passé le premier envoi, qui prépare
// ce qui sert ensuite, le réveil que l'anneau sonne et l'envoi de ses dix paquets n'allouent rien.
TEST(TempsReel, LEnvoiAuReveilNAlloueRien) {
  asio::io_context contexte;
  asio::ip::udp::socket recepteur(contexte,
                                  asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  faux::HorlogeManuelle horloge;
  auto file = std::make_shared<faux::FileManuelle>(horloge);
  auto tampon = std::make_shared<TamponAudio>(96'000);
  auto emetteur = EmetteurAudio::creer(
      tampon, PointReseau{"127.0.0.1", recepteur.local_endpoint().port()},
      Liaison::nouvelle(Cle{1}, Cle{2}), [] {}, [] {},
      {file, std::make_shared<FabriqueConnexionsUDP>(), &horloge});
  emetteur->demarrer();
  file->executer();
  const Octets bloc(flux::octetsParPaquet, 0x11);
  const auto envoi = [&](int paquets) {
    return allouees([&] {
      for (int i = 0; i < paquets; ++i) tampon->ecrire(bloc, horloge.hoteNs());
      file->executer();
    });
  };
  envoi(1);
  EXPECT_EQ(envoi(10), 0u);
  EXPECT_EQ(emetteur->compteursVoie(0)->paquetsEnvoyes, 11) << "envoyés au réveil";
  emetteur->arreter();
  file->executer();
}

// Sans cela, les autres cas ne prouvent rien.
TEST(TempsReel, LeCompteurVoitLesAllocations) {
  // volatile : que le compilateur n'élide pas la paire new/delete.
  EXPECT_EQ(allouees([] {
              std::vector<int>* volatile v = new std::vector<int>(100);
              delete v;
            }),
            2u);
}

// Le fil d'une vraie sortie rendant une file qu'on remplit, `avance` paquets d'un coup puis deux
// à chaque coup d'œil, un peu plus vite que le temps réel, un paquet sur 17 perdu : passé 50
// rappels de mise en route, tout ce que fait ce fil pendant les 150 suivants (attente du
// périphérique ou rappel du serveur, minutage, sous-alimentations, rendu, conversion, écriture)
// n'alloue rien. Le rappel retient ensuite le fil, qu'une sortie `null` ne cadence pas.
void sortieSansAllocation(const char* nom, SortieAudio& sortie, std::uint32_t avance) {
  SCOPED_TRACE(nom);
  auto lecture = std::make_shared<FileLecture>(960, true);
  RenduLecture rendu(lecture, true);
  const Octets paquet(1280, 0x22);
  std::uint32_t s = 0;
  const auto placer = [&](std::uint32_t n) {
    for (const std::uint32_t fin = s + n; s < fin; ++s)
      if (s % 17 != 5) lecture->placer(s, s * 6'666'667ULL, paquet);
  };
  placer(avance);
  std::atomic<int> rappels{0};
  std::atomic<std::int64_t> vues{-1};
  std::atomic<bool> relache{false};
  ASSERT_EQ(sortie.demarrer([&](std::span<float> bloc, std::optional<InstantNs> h, bool) {
    // `compter` et `allocations` : ceux du fil de la sortie.
    const int n = ++rappels;
    if (n == 200) {
      compter = false;
      vues = static_cast<std::int64_t>(allocations);
      while (!relache) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const bool plein = rendu.rendre(bloc, h);
    if (n == 50) {
      allocations = 0;
      compter = true;
    }
    return plein;
  }),
            std::nullopt);
  EXPECT_TRUE(essai::attendreQue([&] {
    placer(2);
    return vues.load() >= 0;
  })) << rappels.load();
  relache = true;
  sortie.arreter();
  EXPECT_EQ(vues.load(), 0);
  EXPECT_GT(lecture->etat().masques, 0) << "le masquage doit avoir été parcouru";
}

// La sortie ALSA jusqu'au fichier de la configuration d'essai, une seconde déjà en file.
TEST(TempsReel, LaBoucleDeLaSortieAlsaNAlloueRien) {
  const auto dossier =
      std::filesystem::temp_directory_path() / ("ravlo-tr-alsa-" + std::to_string(getpid()));
  std::filesystem::create_directories(dossier);
  essai::configurerAlsa(dossier, dossier / "joue.raw");
  SortieAlsa sortie("essai");
  sortieSansAllocation("ALSA", sortie, 150);
  std::filesystem::remove_all(dossier);
}

// Les sorties du serveur de son d'essai : PulseAudio, ou PipeWire et sa sortie native.
TEST(DemonPulseTempsReel, LesRappelsDesSortiesNAllouentRien) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "pas de démon d'essai : scripts/services/pulseaudio";
  SortiePulse pulse(std::nullopt);
  sortieSansAllocation("PulseAudio", pulse, 0);
  if (serveurPipewire()) {
    SortiePipewire pipewire(std::nullopt);
    sortieSansAllocation("PipeWire", pipewire, 0);
  }
}

// Le fil temps réel d'une capture PipeWire native, du 50ᵉ au 200ᵉ rappel : ce que fait
// PipeWire autour du rappel, puis la conversion et l'écriture dans l'anneau, n'allouent rien.
TEST(DemonPulseTempsReel, LaCapturePipewireNAlloueRien) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "pas de démon d'essai : scripts/services/pulseaudio";
  if (!serveurPipewire()) GTEST_SKIP() << "le serveur n'est pas PipeWire";
  std::vector<std::int16_t> conversion(2 * 1024);
  const ContexteRappel contexte{std::make_shared<Cellule<Livraisons>>(), conversion,
                                std::make_shared<Cellule<float>>(),
                                std::make_shared<TamponAudio>(48'000 * 4 * 10)};
  std::atomic<int> rappels{0};
  std::atomic<std::int64_t> vues{-1};
  CapturePulse capture("", &FluxCapturePipewire::creer);
  ASSERT_TRUE(capture
                  .demarrer(
                      [&](const BlocCapte& bloc) {
                        const int n = ++rappels;
                        if (n == 200) {
                          compter = false;
                          vues = static_cast<std::int64_t>(allocations);
                        }
                        traiterBloc(contexte, bloc);
                        if (n == 50) {
                          allocations = 0;
                          compter = true;
                        }
                      },
                      false)
                  .has_value());
  EXPECT_TRUE(essai::attendreQue([&] { return vues.load() >= 0; })) << rappels.load();
  capture.arreter();
  EXPECT_EQ(vues.load(), 0);
  EXPECT_GT(contexte.tampon->disponible(), 0);
}

}  // namespace
}  // namespace ravlo
