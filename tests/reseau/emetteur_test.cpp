// SPDX-License-Identifier: MPL-2.0
// L'émetteur sur une vraie socket UDP de la boucle locale : panne et abandon face à un port
// qu'on ferme (l'horloge saute en avant pour atteindre les règles de 30 s sans attendre), et
// sa durée de vie sur de vraies files.
#include <gtest/gtest.h>

#include <asio/ip/udp.hpp>
#include <atomic>
#include <functional>
#include <thread>

#include "link/diffusion/emetteur_audio.hpp"
#include "plateforme/connexion_udp.hpp"
#include "plateforme/file_serie.hpp"
#include "protocol/messages/message_horloge.hpp"
#include "protocol/supervision/message_erreur_reseau.hpp"

#include "faux/attente.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using asio::ip::udp;

const Cle versRecepteur{7}, versEmetteur{8};

struct HorlogeSautante final : Horloge {
  std::atomic<InstantNs> saut{0};
  [[nodiscard]] InstantNs hoteNs() const override { return horlogeSysteme().hoteNs() + saut; }
  [[nodiscard]] InstantNs continueNs() const override { return horlogeSysteme().continueNs(); }
};

TEST(PanneReelle, PretePuisPanneFinieParLeRecepteurPuisAbandonA30sPortFerme) {
  asio::io_context contexte;
  udp::socket socket(contexte);
  std::uint16_t port = 0;
  const auto ouvrir = [&] {
    socket.open(udp::v4());
    socket.set_option(udp::socket::reuse_address(true));
    socket.bind({asio::ip::make_address("127.0.0.1"), port});
    socket.non_blocking(true);
    port = socket.local_endpoint().port();
  };
  ouvrir();
  Scelleur scelleur(versEmetteur);
  HorlogeSautante horloge;
  auto tampon = std::make_shared<TamponAudio>(96'000);
  std::atomic<int> injoignables{0};
  auto emetteur = EmetteurAudio::creer(
      tampon, PointReseau{"127.0.0.1", port}, Liaison::nouvelle(versRecepteur, versEmetteur), [] {},
      [&] { ++injoignables; },
      EmetteurAudio::Plateforme{std::make_shared<FileSerie>("ravlo.emetteur"),
                                std::make_shared<FabriqueConnexionsUDP>(), &horloge});
  emetteur->demarrer();
  // Nourrit l'anneau ; port ouvert, répond à chaque datagramme par une question d'horloge.
  // Jusqu'à ce que `condition` tienne, `duree` au plus : vrai si elle a tenu.
  const auto tournerJusqua = [&](const std::function<bool()>& condition,
                                 std::chrono::steady_clock::duration duree = 20s) {
    for (const auto fin = std::chrono::steady_clock::now() + duree;
         std::chrono::steady_clock::now() < fin; std::this_thread::sleep_for(1ms)) {
      if (condition()) return true;
      if (tampon->disponible() < 1280) (void)tampon->ecrire(Octets(1280, 0), horloge.hoteNs());
      std::array<std::uint8_t, 2048> recu{};
      udp::endpoint de;
      std::error_code e;
      if (socket.is_open() && socket.receive_from(asio::buffer(recu), de, 0, e) > 0) {
        socket.send_to(asio::buffer(*scelleur.sceller(MessageHorloge::question(1).encoder(),
                                                      SorteEnveloppe::horloge)),
                       de, 0, e);
      }
    }
    return condition();
  };
  const auto tourner = [&](std::chrono::milliseconds duree) {
    tournerJusqua([] { return false; }, duree);
  };

  auto c = *emetteur->compteursVoie(0);
  EXPECT_TRUE(tournerJusqua([&] {
    c = *emetteur->compteursVoie(0);
    return c.connexionPrete && c.paquetsEnvoyes > 40;
  })) << c.paquetsEnvoyes;
  // Une panne : refusée, refaite chaque seconde ; chaque connexion refaite est prête jusqu'au
  // premier refus, l'erreur se lit entre deux. Le récepteur est muet au bout de 3 s.
  socket.close();
  EXPECT_TRUE(tournerJusqua([&] {
    c = *emetteur->compteursVoie(0);
    return c.erreur && c.connexionsRefaites >= 1 && c.blocsJetes > 0 && c.recepteurMuet;
  })) << c.connexionsRefaites
      << " " << c.blocsJetes << " " << c.recepteurMuet;
  EXPECT_EQ(c.erreur, (ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}));
  // Le récepteur revient et répond : la panne est finie (il n'est plus muet), une autre 29 s
  // plus tard n'est pas prise pour sa suite.
  ouvrir();
  EXPECT_TRUE(tournerJusqua([&] {
    c = *emetteur->compteursVoie(0);
    return !c.recepteurMuet && c.connexionPrete && !c.erreur;
  }));
  horloge.saut += 29'000'000'000;
  socket.close();
  tourner(1500ms);
  EXPECT_EQ(injoignables, 0);
  // Port fermé pour de bon : chaque connexion refaite est prête, personne ne répond.
  horloge.saut += 29'000'000'000;
  EXPECT_TRUE(tournerJusqua([&] { return injoignables > 0; }));
  EXPECT_EQ(injoignables, 1);
  emetteur->arreter();
}

// Lâché juste après `arreter()`, ou sans arrêt : aucun gestionnaire ne touche un émetteur
// détruit.
TEST(ConcurrenceEmetteur, LacheJusteApresArreterOuSansArret) {
  asio::io_context contexte;
  udp::socket recepteur(contexte, {asio::ip::make_address("127.0.0.1"), 0});
  auto connexions = std::make_shared<FabriqueConnexionsUDP>();
  auto tampon = std::make_shared<TamponAudio>(96'000);
  for (int essai = 0; essai < 20; ++essai) {
    auto file = std::make_shared<FileSerie>("ravlo.emetteur");
    std::weak_ptr<EmetteurAudio> faible;
    {
      auto emetteur = EmetteurAudio::creer(
          tampon, PointReseau{"127.0.0.1", recepteur.local_endpoint().port()},
          Liaison::nouvelle(versRecepteur, versEmetteur), [] {}, [] {},
          EmetteurAudio::Plateforme{file, connexions, &horlogeSysteme()});
      faible = emetteur;
      emetteur->demarrer();
      // Le producteur écrit pendant que l'émetteur envoie.
      for (int i = 0; i < 4; ++i) {
        tampon->ecrire(Octets(1280, 1), horlogeSysteme().hoteNs());
        std::this_thread::sleep_for(2ms);
      }
      if (essai % 2 == 0) emetteur->arreter();
    }
    file.reset();  // la file vit encore tant que l'émetteur la tient
    EXPECT_TRUE(ravlo::essai::attendreQue([&] { return faible.expired(); })) << "essai " << essai;
  }
}

}  // namespace
}  // namespace ravlo
