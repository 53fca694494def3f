#include "plateforme/socket_udp.hpp"

#include <gtest/gtest.h>

#include <asio/ip/udp.hpp>
#include <future>

#include "plateforme/file_serie.hpp"

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

// Une seule socket reçoit IPv4 et IPv6 et répond à chacun ; l'expéditeur IPv4 se lit sous sa
// forme IPv4 ; le port déjà pris est refusé en erreur ; une adresse illisible n'envoie rien.
TEST(SocketUDP, DoubleePileRepondAChacunEtRefuseLePortPris) {
  FileSerie file("ravlo.essai");
  SocketUDP socket(file);
  const auto port = surLaFile(file, [&] { return socket.ecouter(0); });
  ASSERT_TRUE(port) << port.error().code;
  SocketUDP autre(file);
  const auto pris = surLaFile(file, [&] { return autre.ecouter(*port); });
  ASSERT_FALSE(pris);
  EXPECT_EQ(pris.error(), (ErreurReseau{DomaineErreurReseau::posix, EADDRINUSE}));

  std::vector<PointReseau> sources;
  surLaFile(file, [&] {
    socket.recevoir([&](VueOctets d, const PointReseau& source) {
      sources.push_back(source);
      socket.envoyer(VueOctets(d.data(), 1), PointReseau{"pas une adresse", source.port});
      const Octets retour(d.rbegin(), d.rend());
      socket.envoyer(retour, source);
    });
    return 0;
  });

  asio::io_context contexte;
  int clients = 0;
  for (const char* local : {"127.0.0.1", "::1"}) {
    std::error_code e;
    udp::socket client(contexte);
    const auto adresse = asio::ip::make_address(local);
    client.open(adresse.is_v4() ? udp::v4() : udp::v6(), e);
    if (!e) client.bind(udp::endpoint(adresse, 0), e);
    if (e) continue;  // une machine sans IPv6
    ++clients;
    client.send_to(asio::buffer(std::array<std::uint8_t, 3>{1, 2, 3}),
                   udp::endpoint(adresse, *port));
    std::array<std::uint8_t, 8> tampon{};
    udp::endpoint de;
    ASSERT_EQ(client.receive_from(asio::buffer(tampon), de), 3u) << local;
    EXPECT_EQ((std::array{tampon[0], tampon[1], tampon[2]}),
              (std::array<std::uint8_t, 3>{3, 2, 1}));
    const PointReseau vu = surLaFile(file, [&] { return sources.back(); });
    EXPECT_EQ(vu, (PointReseau{local, client.local_endpoint().port()}));
  }
  EXPECT_GE(clients, 1);
  surLaFile(file, [&] {
    socket.fermer();
    return 0;
  });
}

}  // namespace
}  // namespace ravlo
