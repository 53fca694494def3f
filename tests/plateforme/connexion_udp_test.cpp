// SPDX-License-Identifier: MPL-2.0
#include "plateforme/connexion_udp.hpp"

#include <gtest/gtest.h>

#include <asio/ip/udp.hpp>
#include <future>

#include "plateforme/file_serie.hpp"

namespace ravlo {
namespace {

using Cas = EtatConnexion::Cas;
using asio::ip::udp;
using Recu = std::pair<std::optional<Octets>, std::optional<ErreurReseau>>;

// Réception armée sur la connexion, résultat livré dans une promesse.
std::future<Recu> recevoir(ConnexionDatagramme& c) {
  auto p = std::make_shared<std::promise<Recu>>();
  c.recevoir([p](std::optional<Octets> d, std::optional<ErreurReseau> e) { p->set_value({d, e}); });
  return p->get_future();
}

// Port fermé : l'ICMP revient en ECONNREFUSED à la réception, la connexion passe en attente,
// puis redevient prête au premier datagramme reçu ; l'annulation rend ECANCELED.
TEST(ConnexionUDP, PortFermePuisRetabliPuisAnnulee) {
  FileSerie file("ravlo.essai");
  FabriqueConnexionsUDP fabrique;
  asio::io_context contexte;
  auto pair = std::make_unique<udp::socket>(contexte,
                                            udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  const std::uint16_t port = pair->local_endpoint().port();
  pair.reset();
  auto c = fabrique.creer(PointReseau{"127.0.0.1", port}, file);
  auto refus = recevoir(*c);  // armée avant le démarrage : attend l'ouverture
  c->demarrer();
  c->envoyer(Octets{1});
  EXPECT_EQ(refus.get(),
            (Recu{std::nullopt, ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}}));
  EXPECT_EQ(c->etat().cas, Cas::attente);

  udp::socket revenu(contexte, udp::endpoint(asio::ip::make_address("127.0.0.1"), port));
  auto recu = recevoir(*c);
  c->envoyer(Octets{1, 2, 3});
  std::array<std::uint8_t, 16> tampon{};
  udp::endpoint source;
  ASSERT_EQ(revenu.receive_from(asio::buffer(tampon), source), 3u);
  revenu.send_to(asio::buffer(std::array<std::uint8_t, 2>{9, 8}), source);
  EXPECT_EQ(recu.get(), (Recu{Octets{9, 8}, std::nullopt}));
  EXPECT_EQ(c->etat().cas, Cas::prete);

  auto annulee = recevoir(*c);
  c->annuler();
  EXPECT_EQ(annulee.get(),
            (Recu{std::nullopt, ErreurReseau{DomaineErreurReseau::posix, ECANCELED}}));
  EXPECT_EQ(c->etat().cas, Cas::annulee);
}

}  // namespace
}  // namespace ravlo
