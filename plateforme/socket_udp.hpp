#pragma once

#include <memory>

#include "plateforme/executeur.hpp"
#include "plateforme/socket_datagramme.hpp"

namespace ravlo {

/// `SocketDatagramme` sur une socket UDP réelle, sur le contexte asio de la file donnée :
/// IPv6 et IPv4 ensemble, IPv4 seul sur une machine sans IPv6.
class SocketUDP final : public SocketDatagramme {
 public:
  explicit SocketUDP(File& file);
  ~SocketUDP() override;
  SocketUDP(const SocketUDP&) = delete;
  SocketUDP& operator=(const SocketUDP&) = delete;

  [[nodiscard]] std::expected<std::uint16_t, ErreurReseau> ecouter(std::uint16_t port) override;
  void recevoir(RappelReception rappel) override;
  void envoyer(VueOctets datagramme, const PointReseau& vers) override;
  void fermer() override;

 private:
  struct Etat;
  std::unique_ptr<Etat> etat_;
};

}  // namespace ravlo
