// SPDX-License-Identifier: MPL-2.0
#include "plateforme/socket_udp.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <thread>

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
    socket.recevoir([&](std::span<const DatagrammeRecu> lot) {
      for (const auto& [d, source] : lot) {
        sources.push_back(*source);
        socket.envoyer(VueOctets(d.data(), 1), PointReseau{"pas une adresse", source->port});
        const Octets retour(d.rbegin(), d.rend());
        socket.envoyer(retour, *source);
      }
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

// Une rafale envoyée pendant que la file est occupée : la file de réception agrandie la
// tient toute, puis elle se lit par lots de plusieurs datagrammes (jamais plus de `lotMax`),
// chacun dans l'ordre avec sa source, deux expéditeurs entrelacés ; le datagramme trop long est
// écarté et compté, celui de la taille maximale passe.
TEST(SocketUDP, LitUneRafaleParLotsDansLOrdreAvecSesSources) {
  FileSerie file("ravlo.essai");
  SocketUDP socket(file);
  const auto port = surLaFile(file, [&] { return socket.ecouter(0); });
  ASSERT_TRUE(port);

  constexpr std::size_t demande = 4u << 20;
  const std::size_t effectif =
      surLaFile(file, [&] { return socket.dimensionnerReception(demande); });
  std::size_t plafond = 0;
  std::ifstream("/proc/sys/net/core/rmem_max") >> plafond;
  // Le noyau double ce qu'il accorde ; sans privilège, il plafonne la demande à rmem_max.
  EXPECT_GE(effectif, ::geteuid() == 0 ? 2 * demande : 2 * std::min(demande, plafond));

  struct Lu {
    std::uint32_t numero;
    std::size_t taille;
    PointReseau source;
  };
  std::vector<Lu> recus;
  std::vector<std::size_t> lots;
  surLaFile(file, [&] {
    socket.recevoir([&](std::span<const DatagrammeRecu> lot) {
      lots.push_back(lot.size());
      for (const auto& [d, source] : lot) {
        std::uint32_t n = 0;
        std::memcpy(&n, d.data(), sizeof n);
        recus.push_back({n, d.size(), *source});
      }
    });
    return 0;
  });

  asio::io_context contexte;
  udp::socket a(contexte, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  udp::socket b(contexte, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  const udp::endpoint vers(asio::ip::make_address("127.0.0.1"), *port);
  constexpr std::uint32_t rafale = 500;
  constexpr std::uint32_t tropLong = 250;
  std::promise<void> libre;
  file.poster([attente = libre.get_future().share()] { attente.wait(); });
  for (std::uint32_t i = 0; i < rafale; ++i) {
    std::vector<std::uint8_t> d(i == tropLong ? SocketDatagramme::tailleMax + 1
                                : i == 7      ? SocketDatagramme::tailleMax
                                              : 4 + i % 1300);
    std::memcpy(d.data(), &i, sizeof i);
    (i % 2 ? b : a).send_to(asio::buffer(d), vers);
  }
  libre.set_value();
  for (const auto fin = std::chrono::steady_clock::now() + std::chrono::seconds(30);
       std::chrono::steady_clock::now() < fin &&
       surLaFile(file, [&] { return recus.size(); }) < rafale - 1;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  surLaFile(file, [&] {
    socket.fermer();
    return 0;
  });

  ASSERT_EQ(recus.size(), rafale - 1);
  EXPECT_EQ(socket.tropLongs(), 1u);
  for (std::uint32_t k = 0, i = 0; i < rafale; ++i) {
    if (i == tropLong) continue;
    const Lu& r = recus[k++];
    ASSERT_EQ(r.numero, i);
    EXPECT_EQ(r.taille, i == 7 ? SocketDatagramme::tailleMax : 4 + i % 1300);
    EXPECT_EQ(r.source, (PointReseau{"127.0.0.1", (i % 2 ? b : a).local_endpoint().port()})) << i;
  }
  EXPECT_LE(*std::ranges::max_element(lots), SocketDatagramme::lotMax);
  EXPECT_GT(*std::ranges::max_element(lots), 1u) << "un datagramme à la fois";
}

}  // namespace
}  // namespace ravlo
