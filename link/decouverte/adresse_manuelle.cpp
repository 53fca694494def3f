// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/adresse_manuelle.hpp"

#include <algorithm>
#include <charconv>

#include "protocol/base/point_reseau.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {

namespace {

std::string_view sansBords(std::string_view t) {
  const auto espace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!t.empty() && espace(t.front())) t.remove_prefix(1);
  while (!t.empty() && espace(t.back())) t.remove_suffix(1);
  return t;
}

}  // namespace

std::string texte(ErreurAdresse erreur, std::string_view locale) {
  switch (erreur) {
    case ErreurAdresse::hoteVide:
      return texte("Tape le nom ou l'adresse IP du récepteur.", locale);
    case ErreurAdresse::hoteInvalide:
      return texte(
          "Ce n'est pas un nom ni une adresse IP : pas d'espace, par exemple "
          "192.168.1.20 ou salon.local.",
          locale);
    case ErreurAdresse::portInvalide:
      return texte("Le port est un nombre de 1 à 65535, celui qu'affiche le récepteur.", locale);
    case ErreurAdresse::hoteInconnu:
      return texte(
          "Aucune adresse trouvée pour ce nom. Vérifie-le, ou tape l'adresse IP du "
          "récepteur.",
          locale);
  }
  return {};
}

FamilleAdresses AdresseManuelle::famille() const {
  return hote.find(':') == std::string::npos ? FamilleAdresses::ipv4 : FamilleAdresses::ipv6;
}

std::string AdresseManuelle::nom() const {
  return enTexte(hote, port);
}

std::expected<AdresseManuelle, ErreurAdresse> lireAdresseManuelle(std::string_view hote,
                                                                  std::string_view port) {
  hote = sansBords(hote);
  port = sansBords(port);
  if (hote.empty()) return std::unexpected(ErreurAdresse::hoteVide);
  if (hote.front() == '[' || hote.back() == ']') {
    if (hote.size() < 3 || hote.front() != '[' || hote.back() != ']')
      return std::unexpected(ErreurAdresse::hoteInvalide);
    hote = hote.substr(1, hote.size() - 2);
  }
  const bool malForme = std::ranges::any_of(hote, [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7f || c == '/' || c == '[' || c == ']' || c == '@';
  });
  if (malForme || hote.size() > 253) return std::unexpected(ErreurAdresse::hoteInvalide);
  unsigned valeur = 0;
  const auto [fin, erreur] = std::from_chars(port.data(), port.data() + port.size(), valeur);
  if (port.empty() || erreur != std::errc() || fin != port.data() + port.size() || valeur == 0 ||
      valeur > 65535)
    return std::unexpected(ErreurAdresse::portInvalide);
  return AdresseManuelle{std::string(hote), static_cast<std::uint16_t>(valeur)};
}

}  // namespace ravlo
