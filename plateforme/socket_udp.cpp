// SPDX-License-Identifier: MPL-2.0
#include "plateforme/socket_udp.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <cstdint>
#include <cstring>
#include <optional>

#include "plateforme/erreur_asio.hpp"

namespace ravlo {

using asio::ip::udp;

namespace {

// Un octet de plus que le plus long admis : un datagramme qui le remplit était trop long.
constexpr std::size_t tailleCase = SocketDatagramme::tailleMax + 1;

}  // namespace

// Les lectures, toutes par recvmmsg dans des cases allouées une fois. asio ne lit rien : il
// guette la socket lisible (`async_wait`, qui repose la question au noyau en s'armant : un
// datagramme déjà là réveille aussitôt). Un datagramme seul coûte un réveil, un recvmmsg et ce
// réarmement ; asio qui lisait le premier ajoutait deux lectures revenues vides.
struct SocketUDP::Etat : std::enable_shared_from_this<SocketUDP::Etat> {
  explicit Etat(File& file) : socket(file.contexte()) {
    // La place de la plus longue adresse IPv6 écrite : lire une source n'alloue jamais.
    for (auto& p : points) p.adresse.reserve(INET6_ADDRSTRLEN);
    pointDernier.adresse.reserve(INET6_ADDRSTRLEN);
    for (std::size_t i = 0; i < SocketDatagramme::lotMax; ++i) {
      vecteurs[i] = {cases[i].data(), tailleCase};
      entetes[i].msg_hdr.msg_iov = &vecteurs[i];
      entetes[i].msg_hdr.msg_iovlen = 1;
    }
  }

  void guetter() {
    socket.async_wait(udp::socket::wait_read,
                      [faible = weak_from_this()](const std::error_code& e) {
                        const auto moi = faible.lock();
                        if (!moi || e == asio::error::operation_aborted || !moi->socket.is_open())
                          return;
                        moi->lire();
                      });
  }

  // Lit un lot, le livre, et continue tant que la socket en tient d'autres. Un lot plein
  // laisse d'abord passer les autres tâches de la file (minuteries, signaux) : un flot sans
  // fin ne les affame pas.
  void lire() {
    const int fd = socket.native_handle();
    for (std::size_t i = 0; i < SocketDatagramme::lotMax; ++i) {
      entetes[i].msg_hdr.msg_name = &adresses[i];
      entetes[i].msg_hdr.msg_namelen = sizeof(sockaddr_storage);
    }
    const int lus = ::recvmmsg(fd, entetes.data(), static_cast<unsigned>(SocketDatagramme::lotMax),
                               MSG_DONTWAIT, nullptr);
    // Rien de plus, ou l'erreur d'un envoi précédent (ICMP), lue seule : l'écoute continue.
    const std::size_t n = lus > 0 ? static_cast<std::size_t>(lus) : 0;
    livrer(n);
    if (!socket.is_open()) return;
    if (n < SocketDatagramme::lotMax) {
      guetter();
      return;
    }
    asio::post(socket.get_executor(), [faible = weak_from_this()] {
      if (const auto moi = faible.lock(); moi && moi->socket.is_open()) moi->lire();
    });
  }

  void livrer(std::size_t n) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t taille = entetes[i].msg_len;
      if (taille >= tailleCase) {
        ++tropLongs;
        continue;
      }
      lot[k++] = {VueOctets(cases[i].data(), taille), &pointDe(i)};
    }
    if (k > 0 && rappel) rappel(std::span<const DatagrammeRecu>(lot.data(), k));
  }

  // Le texte d'une adresse se refait seulement quand l'expéditeur change : un flux audio
  // vient toujours du même. Écrit dans la case, sans allocation.
  const PointReseau& pointDe(std::size_t i) {
    const socklen_t longueur = entetes[i].msg_hdr.msg_namelen;
    if (longueur == dernierLong && std::memcmp(&adresses[i], &dernier, longueur) == 0) {
      points[i] = pointDernier;
      return points[i];
    }
    char texte[INET6_ADDRSTRLEN] = "";
    std::uint16_t port = 0;
    if (adresses[i].ss_family == AF_INET6) {
      const auto& a6 = reinterpret_cast<const sockaddr_in6&>(adresses[i]);
      if (IN6_IS_ADDR_V4MAPPED(&a6.sin6_addr)) {
        ::inet_ntop(AF_INET, &a6.sin6_addr.s6_addr[12], texte, sizeof texte);
      } else {
        ::inet_ntop(AF_INET6, &a6.sin6_addr, texte, sizeof texte);
      }
      port = ntohs(a6.sin6_port);
    } else if (adresses[i].ss_family == AF_INET) {
      const auto& a4 = reinterpret_cast<const sockaddr_in&>(adresses[i]);
      ::inet_ntop(AF_INET, &a4.sin_addr, texte, sizeof texte);
      port = ntohs(a4.sin_port);
    }
    points[i].adresse.assign(texte);
    points[i].port = port;
    std::memcpy(&dernier, &adresses[i], longueur);
    dernierLong = longueur;
    pointDernier.adresse.assign(points[i].adresse);
    pointDernier.port = port;
    return points[i];
  }

  std::optional<udp::endpoint> pointVers(const PointReseau& p) {
    if (dernierEcrit && dernierEcrit->first == p) return dernierEcrit->second;
    std::error_code e;
    auto adresse = asio::ip::make_address(p.adresse, e);
    if (e) return std::nullopt;
    if (adresse.is_v4() && v6)
      adresse = asio::ip::make_address_v6(asio::ip::v4_mapped, adresse.to_v4());
    dernierEcrit.emplace(p, udp::endpoint(adresse, p.port));
    return dernierEcrit->second;
  }

  udp::socket socket;
  bool v6 = false;
  std::array<std::array<std::uint8_t, tailleCase>, SocketDatagramme::lotMax> cases{};
  std::array<sockaddr_storage, SocketDatagramme::lotMax> adresses{};
  std::array<iovec, SocketDatagramme::lotMax> vecteurs{};
  std::array<mmsghdr, SocketDatagramme::lotMax> entetes{};
  std::array<PointReseau, SocketDatagramme::lotMax> points;
  std::array<DatagrammeRecu, SocketDatagramme::lotMax> lot{};
  sockaddr_storage dernier{};
  socklen_t dernierLong = 0;
  PointReseau pointDernier;
  std::uint64_t tropLongs = 0;
  RappelReception rappel;
  std::optional<std::pair<PointReseau, udp::endpoint>> dernierEcrit;
};

SocketUDP::SocketUDP(File& file) : etat_(std::make_shared<Etat>(file)) {}

SocketUDP::~SocketUDP() {
  fermer();
}

std::expected<std::uint16_t, ErreurReseau> SocketUDP::ecouter(std::uint16_t port) {
  auto& s = etat_->socket;
  std::error_code e;
  s.open(udp::v6(), e);
  if (!e) s.set_option(asio::ip::v6_only(false), e);
  if (!e) s.bind(udp::endpoint(udp::v6(), port), e);
  etat_->v6 = !e;
  if (e) {
    std::error_code ignore;
    s.close(ignore);
    e.clear();
    s.open(udp::v4(), e);
    if (!e) s.bind(udp::endpoint(udp::v4(), port), e);
  }
  if (e) return std::unexpected(erreurDe(e));
  const auto local = s.local_endpoint(e);
  if (e) return std::unexpected(erreurDe(e));
  return local.port();
}

std::size_t SocketUDP::dimensionnerReception(std::size_t octets) {
  auto& s = etat_->socket;
  if (!s.is_open()) return 0;
  const int fd = s.native_handle();
  const int demande = static_cast<int>(std::min<std::size_t>(octets, INT32_MAX / 2));
  // Sans privilège, le noyau plafonne à net.core.rmem_max ; SO_RCVBUFFORCE passe outre pour
  // qui a CAP_NET_ADMIN (un service lancé en root), et échoue sans rien changer sinon.
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &demande, sizeof demande) != 0)
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &demande, sizeof demande);
  int effectif = 0;
  socklen_t longueur = sizeof effectif;
  if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &effectif, &longueur) != 0) return 0;
  return static_cast<std::size_t>(effectif);
}

void SocketUDP::recevoir(RappelReception rappel) {
  etat_->rappel = std::move(rappel);
  if (etat_->socket.is_open()) etat_->guetter();
}

void SocketUDP::envoyer(VueOctets datagramme, const PointReseau& vers) {
  if (!etat_->socket.is_open()) return;
  const auto point = etat_->pointVers(vers);
  if (!point) return;
  std::error_code ignore;
  etat_->socket.send_to(asio::buffer(datagramme.data(), datagramme.size()), *point, 0, ignore);
}

std::uint64_t SocketUDP::tropLongs() const {
  return etat_->tropLongs;
}

void SocketUDP::fermer() {
  std::error_code ignore;
  etat_->socket.close(ignore);
}

}  // namespace ravlo
