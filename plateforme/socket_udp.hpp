// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>

#include "plateforme/executeur.hpp"
#include "plateforme/socket_datagramme.hpp"

namespace ravlo {

/// `SocketDatagramme` sur une socket UDP réelle, sur le contexte asio de la file donnée :
/// IPv6 et IPv4 ensemble, IPv4 seul sur une machine sans IPv6. Lit par lots (recvmmsg) dans
/// des cases allouées à la création : recevoir n'alloue rien.
class SocketUDP final : public SocketDatagramme {
 public:
  explicit SocketUDP(File& file);
  ~SocketUDP() override;
  SocketUDP(const SocketUDP&) = delete;
  SocketUDP& operator=(const SocketUDP&) = delete;

  [[nodiscard]] std::expected<std::uint16_t, ErreurReseau> ecouter(std::uint16_t port) override;
  void recevoir(RappelReception rappel) override;
  std::size_t dimensionnerReception(std::size_t octets) override;
  void envoyer(VueOctets datagramme, const PointReseau& vers) override;
  [[nodiscard]] std::uint64_t tropLongs() const override;
  void fermer() override;

 private:
  struct Etat;
  std::shared_ptr<Etat> etat_;  ///< partagé avec ses rappels en cours, qui le savent mort
};

}  // namespace ravlo
