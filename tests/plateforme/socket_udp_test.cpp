// SPDX-License-Identifier: MPL-2.0
// Le réseau réel, en boucle locale : socket d'écoute, connexion de l'émetteur, résolution.
#include "plateforme/socket_udp.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <asio/ip/udp.hpp>
#include <cstring>
#include <fstream>
#include <future>

#include "faux/attente.hpp"
#include "plateforme/connexion_udp.hpp"
#include "plateforme/file_serie.hpp"
#include "plateforme/resolution_noms.hpp"

namespace ravlo {
namespace {

using asio::ip::udp;

// `f` sur le fil de la file, son résultat rendu ici.
template <class F>
auto surLaFile(File& file, F f) {
  std::packaged_task<decltype(f())()> tache(std::move(f));
  auto resultat = tache.get_future();
  file.poster([&tache] { tache(); });
  return resultat.get();
}

udp::endpoint local(std::uint16_t port = 0) {
  return {asio::ip::make_address("127.0.0.1"), port};
}

// Une seule socket reçoit IPv4 et IPv6 ; le port déjà pris est refusé en erreur. Une rafale
// envoyée pendant que la file est occupée, avant même que l'écoute soit armée : la file de
// réception agrandie la tient toute, puis elle se lit par lots de plusieurs datagrammes (jamais
// plus de `lotMax`), chacun dans l'ordre avec sa source, deux expéditeurs entrelacés ; le
// datagramme trop long est écarté et compté, celui de la taille maximale passe. Chacun reçoit sa
// réponse, l'expéditeur IPv4 sous sa forme IPv4 ; une adresse illisible n'envoie rien.
TEST(SocketUDP, DoublePileRafaleParLotsDansLOrdreEtPortPris) {
  FileSerie file("ravlo.essai");
  SocketUDP socket(file), autre(file);
  const auto port = surLaFile(file, [&] { return socket.ecouter(0); });
  ASSERT_TRUE(port) << port.error().code;
  EXPECT_EQ(surLaFile(file, [&] { return autre.ecouter(*port); }),
            std::unexpected(ErreurReseau{DomaineErreurReseau::posix, EADDRINUSE}));
  constexpr std::size_t demande = 4u << 20;
  const std::size_t effectif =
      surLaFile(file, [&] { return socket.dimensionnerReception(demande); });
  std::size_t plafond = 0;
  std::ifstream("/proc/sys/net/core/rmem_max") >> plafond;
  // Le noyau double ce qu'il accorde ; sans privilège, il plafonne la demande à rmem_max.
  EXPECT_GE(effectif, ::geteuid() == 0 ? 2 * demande : 2 * std::min(demande, plafond));

  std::vector<std::tuple<std::uint32_t, std::size_t, PointReseau>> recus;
  std::vector<std::size_t> lots;
  asio::io_context contexte;
  udp::socket a(contexte, local()), b(contexte, local());
  constexpr std::uint32_t rafale = 500, tropLong = 250;
  const auto taille = [](std::uint32_t i) -> std::size_t {
    return i == tropLong ? SocketDatagramme::tailleMax + 1
           : i == 7      ? SocketDatagramme::tailleMax
                         : 4 + i % 1300;
  };
  std::promise<void> libre;
  file.poster([attente = libre.get_future().share()] { attente.wait(); });
  for (std::uint32_t i = 0; i < rafale; ++i) {
    std::vector<std::uint8_t> d(taille(i));
    std::memcpy(d.data(), &i, sizeof i);
    (i % 2 ? b : a).send_to(asio::buffer(d), local(*port));
  }
  file.poster([&] {
    socket.recevoir([&](std::span<const DatagrammeRecu> lot) {
      lots.push_back(lot.size());
      for (const auto& [d, source] : lot) {
        std::uint32_t n = 0;
        std::memcpy(&n, d.data(), std::min(sizeof n, d.size()));
        recus.emplace_back(n, d.size(), *source);
        if (d.size() != 3) continue;  // seuls les clients de la fin attendent une réponse
        socket.envoyer(VueOctets(d.data(), 1), PointReseau{"pas une adresse", source->port});
        socket.envoyer(Octets(d.rbegin(), d.rend()), *source);
      }
    });
  });
  libre.set_value();
  essai::attendreQue([&] { return surLaFile(file, [&] { return recus.size(); }) >= rafale - 1; });
  ASSERT_EQ(surLaFile(file, [&] { return recus.size(); }), rafale - 1);
  EXPECT_EQ(socket.tropLongs(), 1u);
  for (std::uint32_t k = 0, i = 0; i < rafale; ++i) {
    if (i == tropLong) continue;
    const PointReseau source{"127.0.0.1", (i % 2 ? b : a).local_endpoint().port()};
    ASSERT_EQ(recus[k++], std::make_tuple(i, taille(i), source));
  }
  EXPECT_LE(*std::ranges::max_element(lots), SocketDatagramme::lotMax);
  EXPECT_GT(*std::ranges::max_element(lots), 1u) << "un datagramme à la fois";

  int clients = 0;
  for (const char* adresse : {"127.0.0.1", "::1"}) {
    std::error_code e;
    udp::socket client(contexte);
    const auto ip = asio::ip::make_address(adresse);
    client.open(ip.is_v4() ? udp::v4() : udp::v6(), e);
    if (!e) client.bind(udp::endpoint(ip, 0), e);
    if (e) continue;  // une machine sans IPv6
    ++clients;
    client.send_to(asio::buffer(std::array<std::uint8_t, 3>{1, 2, 3}), udp::endpoint(ip, *port));
    std::array<std::uint8_t, 8> tampon{};
    udp::endpoint de;
    ASSERT_EQ(client.receive_from(asio::buffer(tampon), de), 3u) << adresse;
    EXPECT_EQ((std::array{tampon[0], tampon[1], tampon[2]}),
              (std::array<std::uint8_t, 3>{3, 2, 1}));
    EXPECT_EQ(surLaFile(file, [&] { return std::get<2>(recus.back()); }),
              (PointReseau{adresse, client.local_endpoint().port()}));
  }
  EXPECT_GE(clients, 1);
  surLaFile(file, [&] { socket.fermer(); });
}

// Port fermé : l'ICMP revient en ECONNREFUSED à la réception, la connexion passe en attente,
// puis redevient prête au premier datagramme reçu ; l'annulation rend ECANCELED.
TEST(ConnexionUDP, PortFermePuisRetabliPuisAnnulee) {
  using Recu = std::pair<std::optional<Octets>, std::optional<ErreurReseau>>;
  const auto recevoir = [](ConnexionDatagramme& c) {
    auto p = std::make_shared<std::promise<Recu>>();
    c.recevoir(
        [p](std::optional<Octets> d, std::optional<ErreurReseau> e) { p->set_value({d, e}); });
    return p->get_future();
  };
  FileSerie file("ravlo.essai");
  FabriqueConnexionsUDP fabrique;
  asio::io_context contexte;
  auto pris = std::make_unique<udp::socket>(contexte, local());
  const std::uint16_t port = pris->local_endpoint().port();
  pris.reset();
  auto c = fabrique.creer(PointReseau{"127.0.0.1", port}, file);
  auto refus = recevoir(*c);  // armée avant le démarrage : attend l'ouverture
  c->demarrer();
  c->envoyer(Octets{1});
  EXPECT_EQ(refus.get(),
            (Recu{std::nullopt, ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}}));
  EXPECT_EQ(c->etat().cas, EtatConnexion::Cas::attente);
  udp::socket revenu(contexte, local(port));
  auto recu = recevoir(*c);
  c->envoyer(Octets{1, 2, 3});
  std::array<std::uint8_t, 16> tampon{};
  udp::endpoint source;
  ASSERT_EQ(revenu.receive_from(asio::buffer(tampon), source), 3u);
  revenu.send_to(asio::buffer(std::array<std::uint8_t, 2>{9, 8}), source);
  EXPECT_EQ(recu.get(), (Recu{Octets{9, 8}, std::nullopt}));
  EXPECT_EQ(c->etat().cas, EtatConnexion::Cas::prete);
  auto annulee = recevoir(*c);
  c->annuler();
  EXPECT_EQ(annulee.get(),
            (Recu{std::nullopt, ErreurReseau{DomaineErreurReseau::posix, ECANCELED}}));
  EXPECT_EQ(c->etat().cas, EtatConnexion::Cas::annulee);
}

// Littéraux et nom de /etc/hosts seulement : aucun essai ne demande au DNS. Un nom qu'aucune
// requête ne peut porter (une étiquette de plus de 63 octets) : refusé avant tout envoi, et
// l'erreur revient en valeur.
TEST(ResolutionNoms, LitterauxNomLocalEtNomImpossible) {
  using F = FamilleAdresses;
  for (const auto& [hote, famille, attendue] : std::vector<std::tuple<std::string, F, std::string>>{
           {"127.0.0.1", F::ipv4, "127.0.0.1"},
           {"2001:db8::0:1", F::ipv6, "2001:db8::1"},
           {"::ffff:127.0.0.1", F::ipv6, "::ffff:127.0.0.1"},
           {"localhost", F::ipv4, "127.0.0.1"},
       }) {
    const auto adresses = resoudreNom(hote, famille);
    ASSERT_TRUE(adresses) << hote << " : " << adresses.error();
    ASSERT_FALSE(adresses->empty()) << hote;
    EXPECT_EQ(adresses->front(), attendue) << hote;
  }
  const auto impossible = resoudreNom(std::string(70, 'a') + ".invalid", F::ipv4);
  ASSERT_FALSE(impossible);
  EXPECT_FALSE(impossible.error().empty());
}

}  // namespace
}  // namespace ravlo
