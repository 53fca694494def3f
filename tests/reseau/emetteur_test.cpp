// SPDX-License-Identifier: MPL-2.0
// L'émetteur sur une vraie socket UDP de la boucle locale et de vraies files : sa durée de vie.
#include <gtest/gtest.h>

#include <asio/ip/udp.hpp>
#include <thread>

#include "link/diffusion/emetteur_audio.hpp"
#include "plateforme/connexion_udp.hpp"
#include "plateforme/file_serie.hpp"

#include "faux/attente.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using asio::ip::udp;

const Cle versRecepteur{7}, versEmetteur{8};

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
