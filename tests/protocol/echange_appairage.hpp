#pragma once

// Outils des essais d'appairage : hexadécimal, et un échange joué d'un bout à l'autre en
// passant chaque message par sa forme sur le fil.

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/appairage_initiateur.hpp"
#include "protocol/appairage_repondeur.hpp"
#include "protocol/message_passkey.hpp"

namespace ravlo {

inline Octets depuisHex(std::string_view hex) {
  Octets octets;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    octets.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return octets;
}

inline std::string enHex(VueOctets octets) {
  std::string hex;
  char paire[3];
  for (std::uint8_t o : octets) {
    std::snprintf(paire, sizeof paire, "%02x", o);
    hex += paire;
  }
  return hex;
}

/// Le message tel que l'autre côté le lit après le fil ; tout message produit se décode.
inline MessagePasskey parLeFil(const MessagePasskey& m) {
  const auto lu = MessagePasskey::decoder(m.donnees());
  EXPECT_TRUE(lu.has_value());
  return lu.has_value() ? *lu : m;
}

/// Joue l'échange jusqu'à ce qu'un côté se taise ; rend les datagrammes dans l'ordre,
/// celui de l'initiateur d'abord.
inline std::vector<Octets> jouerEchange(AppairageInitiateur& initiateur,
                                        AppairageRepondeur& repondeur) {
  std::vector<Octets> fil;
  std::optional<MessagePasskey> versRepondeur = initiateur.dernierMessage();
  while (versRepondeur && fil.size() < 100) {
    fil.push_back(versRepondeur->donnees());
    const std::optional<MessagePasskey> versInitiateur =
        repondeur.recevoir(parLeFil(*versRepondeur));
    if (!versInitiateur) break;
    fil.push_back(versInitiateur->donnees());
    versRepondeur = initiateur.recevoir(parLeFil(*versInitiateur));
  }
  return fil;
}

}  // namespace ravlo
