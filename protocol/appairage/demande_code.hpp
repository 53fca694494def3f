// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/appairage/message_passkey.hpp"
#include "protocol/base/octets.hpp"

namespace ravlo {

/// La demande qu'un récepteur sans écran dise son code à voix haute : l'en-tête des messages
/// d'appairage seul, au cas 10, tentative 0.
///
///   0      2   3    4                  12
///   +------+---+----+------------------+
///   | "RP" | 1 | 10 | 0 (8 octets LE)  |
///   +------+---+----+------------------+
///
/// Rien n'y est authentifié : la demande ne fait que dire tout haut, dans la pièce, ce qu'un
/// écran y montrerait ; le récepteur la borne dans le temps. Un récepteur qui ne connaît pas
/// ce cas l'écarte comme tout datagramme inconnu.
struct DemandeCode {
  static constexpr std::uint8_t cas = 10;
  static constexpr std::size_t taille = MessagePasskey::tailleEnTete;

  /// Le datagramme, toujours le même.
  [[nodiscard]] static Octets donnees();
  /// Vrai pour ce datagramme exactement : en-tête, cas, tentative nulle, rien après.
  [[nodiscard]] static bool est(VueOctets datagramme);
};

}  // namespace ravlo
