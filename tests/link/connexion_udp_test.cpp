#include "link/plateforme/connexion_udp.hpp"

#include <gtest/gtest.h>

#include <asio/ip/udp.hpp>
#include <future>

#include "link/plateforme/file_serie.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Cas = EtatConnexion::Cas;
using asio::ip::udp;

struct ConnexionUDP : ::testing::Test {
  std::shared_ptr<FileSerie> file = std::make_shared<FileSerie>("ravlo.essai");
  FabriqueConnexionsUDP fabrique;
  asio::io_context contexte;
  udp::socket pair{contexte, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0)};

  // Réception armée sur la connexion, résultat livré dans une promesse.
  std::future<std::pair<std::optional<Octets>, std::optional<ErreurReseau>>> recevoir(
      ConnexionDatagramme& c) {
    auto p = std::make_shared<
        std::promise<std::pair<std::optional<Octets>, std::optional<ErreurReseau>>>>();
    c.recevoir(
        [p](std::optional<Octets> d, std::optional<ErreurReseau> e) { p->set_value({d, e}); });
    return p->get_future();
  }
};

TEST_F(ConnexionUDP, EchangeDeDatagrammesEtEtats) {
  auto c = fabrique.creer(PointReseau{"127.0.0.1", pair.local_endpoint().port()}, *file);
  std::vector<Cas> etats;
  std::mutex m;
  c->surEtat([&](const EtatConnexion& e) {
    std::lock_guard verrou(m);
    etats.push_back(e.cas);
  });
  auto recu = recevoir(*c);  // armée avant le démarrage : attend l'ouverture
  c->demarrer();
  std::promise<void> traite;
  c->envoyer(Octets{1, 2, 3}, [&] { traite.set_value(); });
  traite.get_future().wait();
  EXPECT_EQ(c->etat().cas, Cas::prete);

  std::array<std::uint8_t, 16> tampon{};
  udp::endpoint source;
  ASSERT_EQ(pair.receive_from(asio::buffer(tampon), source), 3u);
  EXPECT_EQ(tampon[2], 3);
  pair.send_to(asio::buffer(std::array<std::uint8_t, 2>{9, 8}), source);
  const auto [datagramme, erreur] = recu.get();
  EXPECT_EQ(datagramme, (Octets{9, 8}));
  EXPECT_FALSE(erreur.has_value());

  auto annulee = recevoir(*c);
  c->annuler();
  const auto [d2, e2] = annulee.get();
  EXPECT_FALSE(d2.has_value());
  EXPECT_EQ(e2, (ErreurReseau{DomaineErreurReseau::posix, ECANCELED}));
  EXPECT_EQ(c->etat().cas, Cas::annulee);
  std::lock_guard verrou(m);
  EXPECT_EQ(etats, (std::vector<Cas>{Cas::preparation, Cas::prete, Cas::annulee}));
}

// Port fermé : l'ICMP revient en ECONNREFUSED à la réception, la connexion passe en attente,
// puis redevient prête au premier datagramme reçu.
TEST_F(ConnexionUDP, PortFermePuisRetabli) {
  const std::uint16_t port = pair.local_endpoint().port();
  pair.close();
  auto c = fabrique.creer(PointReseau{"127.0.0.1", port}, *file);
  c->demarrer();
  auto recu = recevoir(*c);
  c->envoyer(Octets{1});
  const auto [d, e] = recu.get();
  EXPECT_FALSE(d.has_value());
  EXPECT_EQ(e, (ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}));
  EXPECT_EQ(c->etat(),
            (EtatConnexion{Cas::attente, ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}}));

  udp::socket revenu(contexte, udp::endpoint(asio::ip::make_address("127.0.0.1"), port));
  auto recu2 = recevoir(*c);
  c->envoyer(Octets{2});
  std::array<std::uint8_t, 16> tampon{};
  udp::endpoint source;
  revenu.receive_from(asio::buffer(tampon), source);
  revenu.send_to(asio::buffer(tampon, 1), source);
  EXPECT_TRUE(recu2.get().first.has_value());
  EXPECT_EQ(c->etat().cas, Cas::prete);
  c->annuler();
}

TEST_F(ConnexionUDP, AdresseInvalideEchoue) {
  auto c = fabrique.creer(PointReseau{"pas-une-adresse", 1}, *file);
  auto recu = recevoir(*c);
  c->demarrer();
  const auto [d, e] = recu.get();
  EXPECT_FALSE(d.has_value());
  EXPECT_EQ(c->etat().cas, Cas::echec);
  EXPECT_EQ(e, (ErreurReseau{DomaineErreurReseau::posix, EINVAL}));
}

}  // namespace
}  // namespace ravlo
