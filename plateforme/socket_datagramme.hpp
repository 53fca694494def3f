// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <span>

#include "protocol/base/octets.hpp"
#include "protocol/base/point_reseau.hpp"
#include "protocol/supervision/erreur_reseau.hpp"

namespace ravlo {

/// Un datagramme d'un lot reçu ; ses vues ne vivent que pendant le rappel.
struct DatagrammeRecu {
  VueOctets octets;
  const PointReseau* source = nullptr;
};

/// Socket datagramme non connectée : elle reçoit de n'importe qui et répond à chacun, en IPv6
/// comme en IPv4 (une adresse IPv4 se lit et s'écrit sous sa forme IPv4). C'est le côté qui
/// écoute ; `ConnexionDatagramme` est celui qui appelle un seul point.
///
/// Sur le fil de la file donnée à la création seulement ; les rappels y tournent aussi.
class SocketDatagramme {
 public:
  /// Au plus tant de datagrammes par lot.
  static constexpr std::size_t lotMax = 64;
  /// Un datagramme plus long n'est d'aucun message du lien (le plus long, un paquet audio
  /// scellé, fait 1324 octets) : il est écarté sans être livré.
  static constexpr std::size_t tailleMax = 2048;

  /// Les datagrammes arrivés ensemble, dans leur ordre d'arrivée : 1 à `lotMax`.
  using RappelReception = std::function<void(std::span<const DatagrammeRecu> lot)>;

  virtual ~SocketDatagramme() = default;

  /// Se lie à `port` sur toutes les adresses (0 : au choix du système) ; rend le port lié.
  [[nodiscard]] virtual std::expected<std::uint16_t, ErreurReseau> ecouter(std::uint16_t port) = 0;
  /// Demande une file de réception de `octets` au système, après `ecouter` ; rend la taille
  /// qu'il a fixée, relue (il peut la plafonner, ou la doubler pour sa comptabilité).
  virtual std::size_t dimensionnerReception(std::size_t octets) = 0;
  /// Chaque lot reçu, jusqu'à `fermer()`.
  virtual void recevoir(RappelReception rappel) = 0;
  /// Envoie sans attendre ; comme tout envoi UDP, son résultat n'est pas observé.
  virtual void envoyer(VueOctets datagramme, const PointReseau& vers) = 0;
  /// Datagrammes trop longs écartés depuis l'ouverture.
  [[nodiscard]] virtual std::uint64_t tropLongs() const = 0;
  virtual void fermer() = 0;
};

}  // namespace ravlo
