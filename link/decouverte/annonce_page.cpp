// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/annonce_page.hpp"

#include <algorithm>

namespace ravlo {

AnnonceRecepteur annonceDePage(const PageConnectee& page) {
  return {page.identifiant, page.identifiant.has_value() && page.reprise};
}

std::optional<RecepteurMemorise> memoriseDePage(const std::vector<RecepteurMemorise>& carnet,
                                                const PageConnectee& page) {
  const AnnonceRecepteur annonce = annonceDePage(page);
  if (!annonce.connaitReprise) return std::nullopt;
  const auto it = std::ranges::find(carnet, annonce.identifiant, &RecepteurMemorise::identifiant);
  if (it == carnet.end()) return std::nullopt;
  return *it;
}

std::optional<RecepteurMemorise> memoireDePage(const PageConnectee& page, const SecretPaire& paire,
                                               std::int64_t maintenantS) {
  if (!page.identifiant) return std::nullopt;
  return RecepteurMemorise{page.identifiant, enTexte(page.point), paire,
                           page.nom.empty() ? enTexte(page.point) : page.nom, maintenantS};
}

}  // namespace ravlo
