// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "link/decouverte/annonce_recepteur.hpp"
#include "link/decouverte/carnet_recepteurs.hpp"
#include "plateforme/accueil_pages.hpp"
#include "protocol/reprise/secret_paire.hpp"

namespace ravlo {

/// Une page reliée vue comme un récepteur annoncé : l'identifiant qu'elle s'est tiré et la
/// reprise qu'elle dit connaître. La reprise ne vaut qu'avec un identifiant : sans lui, rien
/// ne la retrouve.
[[nodiscard]] AnnonceRecepteur annonceDePage(const PageConnectee& page);

/// L'appairage retenu qu'une page reprend sans code : par son identifiant seulement (son
/// adresse et son port changent à chaque connexion, et ne doivent pas tomber sur un récepteur
/// retenu ailleurs), et seulement si elle annonce la reprise.
[[nodiscard]] std::optional<RecepteurMemorise> memoriseDePage(
    const std::vector<RecepteurMemorise>& carnet, const PageConnectee& page);

/// Ce qu'on retient d'une page après un appairage au code réussi, sous son nom montrable ;
/// rien sans identifiant : on ne la retrouverait jamais.
[[nodiscard]] std::optional<RecepteurMemorise> memoireDePage(const PageConnectee& page,
                                                             const SecretPaire& paire,
                                                             std::int64_t maintenantS);

}  // namespace ravlo
