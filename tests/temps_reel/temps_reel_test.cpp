// SPDX-License-Identifier: MPL-2.0
// Les chemins temps réel (rappel de capture, anneau, rendu de lecture, rappels des sorties
// PulseAudio et PipeWire) n'allouent rien. Ce binaire remplace l'opérateur new global : toute
// allocation, même cachée dans la bibliothèque standard, est vue.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <utility>
#include <vector>

#include <asio/ip/udp.hpp>

#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"
#include "faux/capture_fausse.hpp"
#include "faux/file_manuelle.hpp"
#include "link/capture/capture_systeme.hpp"
#include "link/diffusion/emetteur_audio.hpp"
#include "plateforme/connexion_udp.hpp"
#include "plateforme/file_serie.hpp"
#include "plateforme/pipewire/sortie_pipewire.hpp"
#include "plateforme/pulseaudio/sortie_pulse.hpp"
#include "protocol/audio/tampon_audio.hpp"
#include "recepteur/rendu_lecture.hpp"

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

TEST(TempsReel, LeCompteurVoitLesAllocations) {
  // volatile : que le compilateur n'élide pas la paire new/delete.
  EXPECT_EQ(allouees([] {
              std::vector<int>* volatile v = new std::vector<int>(100);
              delete v;
            }),
            2u)
      << "sans cela, les tests ci-dessous ne prouvent rien";
}

// Le rappel tel que le serveur de son l'appelle : blocs pleins, trop grands, troués, sans
// heure, jusqu'à remplir l'anneau, qui sonne à chaque paquet le réveil d'une vraie file.
TEST(TempsReel, LeRappelDeCaptureNAlloueRien) {
  auto tampon = std::make_shared<TamponAudio>(96'000);
  FileSerie file("ravlo.essai");
  std::promise<void> reveille;
  auto reveil = file.reveil([&, une = true]() mutable {
    if (std::exchange(une, false)) reveille.set_value();
  });
  tampon->brancherReveil(reveil.get(), flux::octetsParPaquet);
  auto son = std::make_shared<faux::SonFaux>();
  CaptureSysteme capture(tampon, false, son->fabrique()());
  ASSERT_TRUE(capture.demarrer().has_value());
  std::vector<float> flux(2 * 10'000);
  for (std::size_t i = 0; i < flux.size(); ++i) flux[i] = static_cast<float>(i % 97) / 50.0f - 1;
  const std::span<const float> tout(flux);
  EXPECT_EQ(allouees([&] {
              for (InstantNs i = 0; i < 100; ++i) {
                const std::optional<InstantNs> h = i % 7 == 3 ? std::nullopt : std::optional(i);
                son->livrer(i % 10 == 9   ? BlocCapte{tout, 0, h}
                            : i % 10 == 5 ? BlocCapte{{}, 240, h}
                                          : BlocCapte{tout.first(2 * 240), 0, h});
              }
            }),
            0u);
  EXPECT_GT(tampon->perdus(), 0) << "le cas de l'anneau plein doit avoir été parcouru";
  EXPECT_EQ(reveille.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready)
      << "le réveil doit avoir été sonné";
  tampon->brancherReveil(nullptr, 0);
}

// Le rendu du récepteur, rééchantillonné à plusieurs vitesses ou non, sur une file qui passe
// par l'amorçage, le désordre, la perte masquée en fondu, la file à sec (plus rien n'arrive),
// le réamorçage, les recalages et le rattrapage en fondu enchaîné (tout arrive en triple) ; un
// rendu sur deux peut attendre, et sans rééchantillonnage il attend pendant le trou.
TEST(TempsReel, LeRenduDeLectureNAlloueRien) {
  for (const bool reechantillonner : {true, false}) {
    auto lecture = std::make_shared<FileLecture>(1000, reechantillonner);
    RenduLecture rendu(lecture, reechantillonner);
    std::vector<float> bloc(2 * 441);
    const Octets paquet(1280, 0x22);
    std::uint32_t sequence = 0;
    std::optional<std::uint32_t> retenu;
    InstantNs heure = 0;
    int attentes = 0;
    for (int i = 0; i < 240; ++i) {
      rendu.changerVitesse(i % 4 * 500.0 - 1000.0);
      const int paquets = i < 60 ? 1 : i < 80 ? 0 : 3;
      for (int p = 0; p < paquets; ++p) {
        const std::uint32_t s = sequence++;
        heure += 6'666'667;
        if (s % 17 == 5) continue;  // perdu
        if (s % 13 == 3 && !retenu) {
          retenu = s;  // doublé par le suivant
          continue;
        }
        lecture->placer(s, heure, paquet);
        if (retenu && s == *retenu + 1)
          lecture->placer(*std::exchange(retenu, std::nullopt), heure, paquet);
      }
      // Des recalages, sauts cherchant leur phase compris.
      if (i % 25 == 10) lecture->decaler(i % 50 == 10 ? 400 : -200, true);
      const auto h = i % 5 == 0 ? std::nullopt : std::optional<InstantNs>(heure);
      EXPECT_EQ(allouees([&] {
                  if (!rendu.rendre(bloc, h, i % 2 == 0)) ++attentes;
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
  }
}

// L'émetteur sur une vraie connexion UDP (boucle locale) : le réveil que l'anneau sonne et
// l'envoi de ses paquets n'allouent rien, qu'il y en ait un ou dix.
TEST(TempsReel, LEmetteurNAlloueRienParPaquet) {
  asio::io_context contexte;
  asio::ip::udp::socket recepteur(contexte,
                                  asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  faux::HorlogeManuelle horloge;
  auto file = std::make_shared<faux::FileManuelle>(horloge);
  auto tampon = std::make_shared<TamponAudio>(96'000);
  Cle versRecepteur, versEmetteur;
  versRecepteur.fill(1);
  versEmetteur.fill(2);
  auto emetteur = EmetteurAudio::creer(
      tampon, PointReseau{"127.0.0.1", recepteur.local_endpoint().port()},
      Liaison::nouvelle(versRecepteur, versEmetteur), [] {}, [] {},
      {file, std::make_shared<FabriqueConnexionsUDP>(), &horloge});
  emetteur->demarrer();
  file->executer();
  const Octets bloc(flux::octetsParPaquet, 0x11);
  const auto envoi = [&](int paquets) {
    const std::int64_t avant = emetteur->compteursVoie(0)->paquetsEnvoyes;
    const std::size_t n = allouees([&] {
      for (int i = 0; i < paquets; ++i) tampon->ecrire(bloc, horloge.hoteNs());
      file->executer();
    });
    EXPECT_EQ(emetteur->compteursVoie(0)->paquetsEnvoyes - avant, paquets) << "envoyés au réveil";
    return n;
  };
  envoi(1);  // le premier envoi prépare ce qui sert ensuite
  EXPECT_EQ(envoi(1), 0u);
  EXPECT_EQ(envoi(10), 0u);
  emetteur->arreter();
  file->executer();
}

// Les vraies sorties contre le serveur de son d'essai (PulseAudio, ou PipeWire et sa sortie
// native), rendant une file que ce fil remplit un peu plus vite que le temps réel, un paquet
// sur 17 perdu : passé 50 rappels de mise en route, tout ce que fait leur fil pendant les 150
// suivants (rappel d'écriture ou de cycle, minutage, sous-alimentations, rendu) n'alloue rien.
TEST(DemonPulseTempsReel, LesRappelsDesSortiesNAllouentRien) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "pas de démon d'essai : scripts/services/pulseaudio";
  std::vector<std::pair<const char*, std::unique_ptr<SortieAudio>>> sorties;
  sorties.emplace_back("PulseAudio", std::make_unique<SortiePulse>(std::nullopt));
  if (serveurPipewire()) {
    sorties.emplace_back("PipeWire", std::make_unique<SortiePipewire>(std::nullopt));
  }
  for (auto& [nom, sortie] : sorties) {
    SCOPED_TRACE(nom);
    auto lecture = std::make_shared<FileLecture>(960, true);
    RenduLecture rendu(lecture, true);
    std::atomic<int> rappels{0};
    std::atomic<std::int64_t> vues{-1};
    ASSERT_EQ(sortie->demarrer([&](std::span<float> bloc, std::optional<InstantNs> h, bool) {
      // `compter` et `allocations` : ceux du fil de la sortie.
      const int n = ++rappels;
      if (n == 200) {
        compter = false;
        vues = static_cast<std::int64_t>(allocations);
      }
      const bool plein = rendu.rendre(bloc, h);
      if (n == 50) {
        allocations = 0;
        compter = true;
      }
      return plein;
    }),
              std::nullopt);
    const Octets paquet(1280, 0x22);
    std::uint32_t s = 0;
    EXPECT_TRUE(essai::attendreQue([&] {
      for (int k = 0; k < 2; ++k, ++s) {
        if (s % 17 != 5) lecture->placer(s, s * 6'666'667ULL, paquet);
      }
      return vues.load() >= 0;
    })) << rappels.load();
    sortie->arreter();
    EXPECT_EQ(vues.load(), 0);
    EXPECT_GT(lecture->etat().masques, 0) << "le masquage doit avoir été parcouru";
  }
}

}  // namespace
}  // namespace ravlo
