#pragma once

#include <cstdint>
#include <expected>
#include <functional>

#include "protocol/base/octets.hpp"
#include "protocol/base/point_reseau.hpp"
#include "protocol/supervision/erreur_reseau.hpp"

namespace ravlo {

/// Socket datagramme non connectée : elle reçoit de n'importe qui et répond à chacun, en IPv6
/// comme en IPv4 (une adresse IPv4 se lit et s'écrit sous sa forme IPv4). C'est le côté qui
/// écoute ; `ConnexionDatagramme` est celui qui appelle un seul point.
///
/// Sur le fil de la file donnée à la création seulement ; les rappels y tournent aussi.
class SocketDatagramme {
 public:
  /// La vue ne vit que pendant l'appel.
  using RappelReception = std::function<void(VueOctets datagramme, const PointReseau& source)>;

  virtual ~SocketDatagramme() = default;

  /// Se lie à `port` sur toutes les adresses (0 : au choix du système) ; rend le port lié.
  [[nodiscard]] virtual std::expected<std::uint16_t, ErreurReseau> ecouter(std::uint16_t port) = 0;
  /// Chaque datagramme reçu, jusqu'à `fermer()`.
  virtual void recevoir(RappelReception rappel) = 0;
  /// Envoie sans attendre ; comme tout envoi UDP, son résultat n'est pas observé.
  virtual void envoyer(VueOctets datagramme, const PointReseau& vers) = 0;
  virtual void fermer() = 0;
};

}  // namespace ravlo
