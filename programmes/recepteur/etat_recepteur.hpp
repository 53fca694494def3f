// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "protocol/crypto/source_de_hasard.hpp"
#include "protocol/messages/service_ravlo.hpp"

namespace ravlo {

/// Le dossier où le récepteur garde ce qui doit survivre à un redémarrage (son identifiant,
/// les expéditeurs mémorisés, le code courant) : `option` (`--etat`) s'il est donné ; sinon
/// le premier dossier de $STATE_DIRECTORY (systemd y met une liste séparée par « : ») ;
/// sinon $XDG_STATE_HOME/ravlo-recepteur, ou ~/.local/state/ravlo-recepteur. Vide si rien
/// ne le donne. `variable` lit l'environnement (nul : absente). Rien n'est créé ici : le
/// dossier naît (0700) à la première écriture d'un fichier privé.
[[nodiscard]] std::filesystem::path dossierEtatRecepteur(
    const std::optional<std::filesystem::path>& option,
    const std::function<const char*(const char*)>& variable);

/// L'identifiant gardé dans `dossier/identifiant` (32 chiffres hexadécimaux) ; au premier
/// appel, ou si le fichier ne contient pas un identifiant, un neuf tiré de `hasard` et écrit
/// (fichier privé). L'erreur dit ce que le système a refusé.
[[nodiscard]] std::expected<IdentifiantRecepteur, std::string> identifiantRecepteur(
    const std::filesystem::path& dossier, SourceDeHasard& hasard);

}  // namespace ravlo
