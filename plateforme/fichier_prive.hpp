// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/base/octets.hpp"

namespace ravlo {

/// Écrit `contenu` dans `chemin` en entier ou pas du tout : un fichier temporaire du même
/// dossier, lisible de son seul propriétaire (0600), vidé sur le disque puis renommé par-dessus
/// l'ancien. Une coupure de courant laisse l'ancien fichier ou le nouveau, jamais un mélange ni
/// un secret lisible d'un autre. Le dossier est créé (0700) s'il manque.
[[nodiscard]] std::expected<void, std::string> ecrireFichierPrive(
    const std::filesystem::path& chemin, std::span<const std::uint8_t> contenu);

/// Le contenu de `chemin` ; `nullopt` s'il n'existe pas. Un fichier de plus de `tailleMax`
/// octets, ou que d'autres que son propriétaire peuvent lire ou écrire, est une erreur : un
/// secret posé là par un autre ne doit pas être cru.
[[nodiscard]] std::expected<std::optional<Octets>, std::string> lireFichierPrive(
    const std::filesystem::path& chemin, std::size_t tailleMax);

/// Efface `chemin` ; vrai aussi s'il n'existait pas.
[[nodiscard]] std::expected<void, std::string> effacerFichierPrive(
    const std::filesystem::path& chemin);

/// Le dossier d'état de `application` pour l'utilisateur : $XDG_STATE_HOME/application, sinon
/// $HOME/.local/state/application. `variable` lit l'environnement (nul : absente). Vide si ni
/// l'un ni l'autre n'est un chemin absolu.
[[nodiscard]] std::filesystem::path dossierEtatUtilisateur(
    std::string_view application, const std::function<const char*(const char*)>& variable);

}  // namespace ravlo
