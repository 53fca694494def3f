// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "recepteur/config_recepteur.hpp"

namespace ravlo {

/// Le fichier de configuration du système, que l'unité système nomme par --config.
inline const std::filesystem::path configSysteme{"/etc/ravlo/recepteur.conf"};

/// Le fichier de l'utilisateur : $XDG_CONFIG_HOME/ravlo/recepteur.conf, sinon
/// $HOME/.config/ravlo/recepteur.conf ; vide si ni l'un ni l'autre n'est un chemin absolu.
[[nodiscard]] std::filesystem::path configUtilisateur(
    const std::function<const char*(const char*)>& variable);

/// La configuration du récepteur : `nommee` (--config), qui doit exister ; sans elle, le
/// fichier de l'utilisateur s'il existe, sinon celui du système s'il existe, sinon rien.
/// L'erreur est la phrase à montrer (fichier illisible, ou ligne fautive).
[[nodiscard]] std::expected<ConfigRecepteur, std::string> chargerConfigRecepteur(
    const std::optional<std::filesystem::path>& nommee,
    const std::function<const char*(const char*)>& variable, const std::string& locale,
    const std::filesystem::path& systeme = configSysteme);

}  // namespace ravlo
