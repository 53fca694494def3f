// SPDX-License-Identifier: MPL-2.0
#include "protocol/textes/catalogue_textes.hpp"

#include "protocol/base/lecteur_octets.hpp"

namespace ravlo {
namespace {

std::uint32_t inverser(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24);
}

// Jusqu'au premier NUL : le singulier d'une entrée à pluriel.
std::string_view premiereForme(std::string_view chaine) {
  return chaine.substr(0, chaine.find('\0'));
}

}  // namespace

std::expected<CatalogueTextes, ErreurCatalogue> CatalogueTextes::lire(VueOctets donnees) {
  if (donnees.size() < tailleEnTete) return std::unexpected(ErreurCatalogue::tropCourt);
  const std::uint32_t magieLue = lirePetitBoutiste<std::uint32_t>(donnees.data());
  if (magieLue != magie && magieLue != inverser(magie)) {
    return std::unexpected(ErreurCatalogue::magieInconnue);
  }
  const bool inverse = magieLue != magie;
  auto mot = [&](std::uint64_t position) {
    const auto v = lirePetitBoutiste<std::uint32_t>(donnees.data() + position);
    return inverse ? inverser(v) : v;
  };
  if ((mot(4) >> 16) > 1) return std::unexpected(ErreurCatalogue::revisionInconnue);

  // Tout en 64 bits : aucune somme de champs 32 bits ne peut déborder.
  const std::uint64_t n = mot(8);
  const std::uint64_t tableCles = mot(12);
  const std::uint64_t tableTraductions = mot(16);
  const std::uint64_t taille = donnees.size();
  if (tableCles + 8 * n > taille || tableTraductions + 8 * n > taille) {
    return std::unexpected(ErreurCatalogue::tableHorsLimites);
  }
  auto chaine = [&](std::uint64_t table, std::uint64_t i) -> std::optional<std::string_view> {
    const std::uint64_t longueur = mot(table + 8 * i);
    const std::uint64_t position = mot(table + 8 * i + 4);
    if (position + longueur > taille) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(donnees.data() + position), longueur);
  };

  CatalogueTextes catalogue;
  std::uint64_t copies = 0;
  for (std::uint64_t i = 0; i < n; ++i) {
    const auto cle = chaine(tableCles, i);
    const auto traduction = chaine(tableTraductions, i);
    if (!cle || !traduction) return std::unexpected(ErreurCatalogue::chaineHorsLimites);
    const std::string_view forme = premiereForme(*cle);
    const std::string_view traduite = premiereForme(*traduction);
    // Comme gettext : une traduction vide vaut une traduction absente.
    if (forme.empty() || traduite.empty()) continue;
    copies += forme.size() + traduite.size();
    if (copies > taille) return std::unexpected(ErreurCatalogue::tropDeTexte);
    catalogue.traductions_.emplace(forme, traduite);
  }
  return catalogue;
}

std::optional<std::string_view> CatalogueTextes::traduire(std::string_view cle) const {
  const auto trouve = traductions_.find(cle);
  if (trouve == traductions_.end()) return std::nullopt;
  return trouve->second;
}

}  // namespace ravlo
