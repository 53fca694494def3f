// L'émetteur sur une vraie socket UDP de la boucle locale, face à un récepteur dont on
// ferme le port : les états viennent de la vraie connexion, et l'horloge de l'émetteur
// saute en avant pour atteindre les règles de 30 s sans les attendre.
#include <gtest/gtest.h>

#include <asio/ip/udp.hpp>
#include <atomic>
#include <thread>

#include "link/plateforme/connexion_udp.hpp"
#include "link/plateforme/file_serie.hpp"
#include "link/sending/emetteur_audio.hpp"
#include "protocol/message_erreur_reseau.hpp"
#include "protocol/message_horloge.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using asio::ip::udp;

const Cle versRecepteur{7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
                        7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
const Cle versEmetteur{8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
                       8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};

struct HorlogeSautante final : Horloge {
  std::atomic<InstantNs> saut{0};
  [[nodiscard]] InstantNs hoteNs() const override { return horlogeSysteme().hoteNs() + saut; }
  [[nodiscard]] InstantNs continueNs() const override {
    return horlogeSysteme().continueNs() + saut;
  }
};

struct PanneReelle : ::testing::Test {
  asio::io_context contexte;
  udp::socket socket{contexte};
  std::uint16_t port = 0;
  Scelleur scelleur{versEmetteur};
  HorlogeSautante horloge;
  std::shared_ptr<TamponAudio> tampon = std::make_shared<TamponAudio>(96'000);
  std::atomic<int> injoignables{0};
  std::shared_ptr<FileSerie> file = std::make_shared<FileSerie>("ravlo.emetteur");
  std::shared_ptr<EmetteurAudio> emetteur;

  void ouvrir() {
    socket.open(udp::v4());
    socket.set_option(udp::socket::reuse_address(true));
    socket.bind({asio::ip::make_address("127.0.0.1"), port});
    socket.non_blocking(true);
    port = socket.local_endpoint().port();
  }

  // Nourrit l'anneau au rythme du son pendant `duree` ; tant que le port est ouvert, répond
  // à chaque datagramme par une question d'horloge, signe de vie authentique.
  void tourner(std::chrono::milliseconds duree) {
    const auto fin = std::chrono::steady_clock::now() + duree;
    while (std::chrono::steady_clock::now() < fin) {
      if (tampon->disponible() < 1280) (void)tampon->ecrire(Octets(1280, 0), horloge.hoteNs());
      std::array<std::uint8_t, 2048> recu{};
      udp::endpoint de;
      std::error_code erreur;
      if (socket.is_open() && socket.receive_from(asio::buffer(recu), de, 0, erreur) > 0) {
        const auto question =
            scelleur.sceller(MessageHorloge::question(1).encoder(), SorteEnveloppe::horloge);
        socket.send_to(asio::buffer(*question), de, 0, erreur);
      }
      std::this_thread::sleep_for(1ms);
    }
  }

  void SetUp() override {
    ouvrir();
    emetteur = EmetteurAudio::creer(
        tampon, PointReseau{"127.0.0.1", port}, Liaison::nouvelle(versRecepteur, versEmetteur),
        [] {}, [this] { ++injoignables; },
        EmetteurAudio::Plateforme{file, std::make_shared<FabriqueConnexionsUDP>(), &horloge, "C"});
    emetteur->demarrer();
  }
  void TearDown() override { emetteur->arreter(); }
};

TEST_F(PanneReelle, PretePuisPanneFinieParLeRecepteurPuisAbandonA30sPortFerme) {
  tourner(500ms);
  auto c = emetteur->compteurs();
  EXPECT_TRUE(c.connexionPrete);
  EXPECT_FALSE(c.erreur.has_value());
  EXPECT_GT(c.paquetsEnvoyes, 40);

  // 2 s de panne : port fermé, la connexion refusée est refaite chaque seconde.
  socket.close();
  tourner(2s);
  c = emetteur->compteurs();
  EXPECT_GE(c.connexionsRefaites, 1);
  EXPECT_GT(c.blocsJetes, 0);
  const auto refus = MessageErreurReseau::texte({DomaineErreurReseau::posix, ECONNREFUSED}, "C");
  EXPECT_EQ(c.erreur, refus);

  // Le récepteur revient et répond : l'erreur s'efface et la panne est finie, si bien
  // qu'une panne 29 s plus tard n'est pas prise pour la suite de la première.
  ouvrir();
  tourner(1500ms);
  c = emetteur->compteurs();
  EXPECT_TRUE(c.connexionPrete);
  EXPECT_FALSE(c.erreur.has_value());
  horloge.saut += 29'000'000'000;
  socket.close();
  tourner(1500ms);
  EXPECT_EQ(injoignables, 0);

  // Port fermé pour de bon : chaque connexion refaite est prête, mais personne ne répond ;
  // l'abandon tombe 30 s après le début de cette panne.
  horloge.saut += 29'000'000'000;
  for (int i = 0; i < 300 && injoignables == 0; ++i) tourner(10ms);
  EXPECT_EQ(injoignables, 1);
}

}  // namespace
}  // namespace ravlo
