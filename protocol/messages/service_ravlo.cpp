// SPDX-License-Identifier: MPL-2.0
#include "protocol/messages/service_ravlo.hpp"

namespace ravlo {

std::string ServiceRavlo::enHexadecimal(const IdentifiantRecepteur& id) {
  static constexpr std::string_view chiffres = "0123456789abcdef";
  std::string texte;
  for (const std::uint8_t o : id) {
    texte += chiffres[o >> 4];
    texte += chiffres[o & 0xF];
  }
  return texte;
}

std::optional<IdentifiantRecepteur> ServiceRavlo::depuisHexadecimal(std::string_view texte) {
  if (texte.size() != 2 * std::tuple_size_v<IdentifiantRecepteur>) return std::nullopt;
  const auto valeur = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  IdentifiantRecepteur id{};
  for (std::size_t i = 0; i < id.size(); ++i) {
    const int fort = valeur(texte[2 * i]);
    const int faible = valeur(texte[2 * i + 1]);
    if (fort < 0 || faible < 0) return std::nullopt;
    id[i] = static_cast<std::uint8_t>(fort << 4 | faible);
  }
  return id;
}

}  // namespace ravlo
