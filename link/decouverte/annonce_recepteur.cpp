// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/annonce_recepteur.hpp"

namespace ravlo {
namespace {

int valeurHexa(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string enHexa(std::span<const std::uint8_t> octets) {
  static constexpr std::string_view chiffres = "0123456789abcdef";
  std::string t;
  t.reserve(octets.size() * 2);
  for (std::uint8_t o : octets) {
    t.push_back(chiffres[o >> 4]);
    t.push_back(chiffres[o & 0xF]);
  }
  return t;
}

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> depuisHexa(std::string_view texte) {
  if (texte.size() != 2 * N) return std::nullopt;
  std::array<std::uint8_t, N> octets{};
  for (std::size_t i = 0; i < N; ++i) {
    const int fort = valeurHexa(texte[2 * i]);
    const int faible = valeurHexa(texte[(2 * i) + 1]);
    if (fort < 0 || faible < 0) return std::nullopt;
    octets[i] = static_cast<std::uint8_t>((fort << 4) | faible);
  }
  return octets;
}

template std::optional<std::array<std::uint8_t, 16>> depuisHexa<16>(std::string_view);
template std::optional<std::array<std::uint8_t, 32>> depuisHexa<32>(std::string_view);

AnnonceRecepteur lireAnnonce(std::span<const std::string> txt) {
  AnnonceRecepteur a;
  for (const std::string_view c : txt) {
    const auto egal = c.find('=');
    if (egal == std::string_view::npos) continue;
    const auto cle = c.substr(0, egal);
    const auto valeur = c.substr(egal + 1);
    if (cle == ServiceRavlo::cleIdentifiant) {
      a.identifiant = ServiceRavlo::depuisHexadecimal(valeur);
    } else if (cle == ServiceRavlo::cleReprise) {
      a.connaitReprise = valeur == "1";
    }
  }
  return a;
}

}  // namespace ravlo
