// Durée de vie de l'émetteur sur de vraies files et de vraies sockets : lâché juste après
// `arreter()`, ou sans arrêt, aucun gestionnaire ne touche un émetteur détruit.
#include <gtest/gtest.h>

#include <thread>

#include "link/plateforme/connexion_udp.hpp"
#include "link/plateforme/file_serie.hpp"
#include "link/sending/emetteur_audio.hpp"
#include "outils/recepteur_test.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

const Cle cle{3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7, 9, 3,
              2, 3, 8, 4, 6, 2, 6, 4, 3, 3, 8, 3, 2, 7, 9, 5};

TEST(ConcurrenceEmetteur, LacheJusteApresArreterOuSansArret) {
  test::RecepteurTest recepteur(*CodeAppairage::depuisSaisie("0000"));
  auto connexions = std::make_shared<FabriqueConnexionsUDP>();
  auto tampon = std::make_shared<TamponAudio>(96'000);
  for (int essai = 0; essai < 20; ++essai) {
    auto file = std::make_shared<FileSerie>("ravlo.emetteur");
    std::weak_ptr<EmetteurAudio> faible;
    {
      auto emetteur = EmetteurAudio::creer(
          tampon, PointReseau{"127.0.0.1", recepteur.port()}, Liaison::nouvelle(cle, cle), [] {},
          [] {}, EmetteurAudio::Plateforme{file, connexions, &horlogeSysteme(), "C"});
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
    for (int i = 0; i < 200 && !faible.expired(); ++i) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(faible.expired()) << "essai " << essai;
  }
}

}  // namespace
}  // namespace ravlo
