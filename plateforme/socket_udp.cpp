#include "plateforme/socket_udp.hpp"

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/ip/v6_only.hpp>
#include <optional>

#include "plateforme/erreur_asio.hpp"

namespace ravlo {

using asio::ip::udp;

struct SocketUDP::Etat {
  explicit Etat(File& file) : socket(file.contexte()) {}

  void armer() {
    socket.async_receive_from(asio::buffer(tampon), source,
                              [this](const std::error_code& e, std::size_t taille) {
                                if (e == asio::error::operation_aborted || !socket.is_open())
                                  return;
                                // Une erreur de réception (ICMP d'un envoi précédent) ne ferme pas
                                // l'écoute.
                                if (!e && rappel)
                                  rappel(VueOctets(tampon.data(), taille), pointDe(source));
                                if (socket.is_open()) armer();
                              });
  }

  // Le texte d'une adresse se refait seulement quand l'expéditeur change : un flux audio
  // vient toujours du même.
  const PointReseau& pointDe(const udp::endpoint& e) {
    if (!dernierLu || dernierLu->first != e) {
      auto adresse = e.address();
      if (adresse.is_v6() && adresse.to_v6().is_v4_mapped())
        adresse = asio::ip::make_address_v4(asio::ip::v4_mapped, adresse.to_v6());
      dernierLu.emplace(e, PointReseau{adresse.to_string(), e.port()});
    }
    return dernierLu->second;
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
  udp::endpoint source;
  std::array<std::uint8_t, 65'536> tampon{};
  RappelReception rappel;
  std::optional<std::pair<udp::endpoint, PointReseau>> dernierLu;
  std::optional<std::pair<PointReseau, udp::endpoint>> dernierEcrit;
};

SocketUDP::SocketUDP(File& file) : etat_(std::make_unique<Etat>(file)) {}

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

void SocketUDP::recevoir(RappelReception rappel) {
  etat_->rappel = std::move(rappel);
  if (etat_->socket.is_open()) etat_->armer();
}

void SocketUDP::envoyer(VueOctets datagramme, const PointReseau& vers) {
  if (!etat_->socket.is_open()) return;
  const auto point = etat_->pointVers(vers);
  if (!point) return;
  std::error_code ignore;
  etat_->socket.send_to(asio::buffer(datagramme.data(), datagramme.size()), *point, 0, ignore);
}

void SocketUDP::fermer() {
  std::error_code ignore;
  etat_->socket.close(ignore);
}

}  // namespace ravlo
