#pragma once

#include <filesystem>
#include <string>

namespace ravlo {

/// Le nom de cette machine montré aux autres : PRETTY_HOSTNAME de /etc/machine-info quand
/// il est donné, sinon le nom d'hôte.
[[nodiscard]] std::string nomMachine(
    const std::filesystem::path& infoMachine = "/etc/machine-info");

/// La locale des textes : LC_ALL, puis LC_MESSAGES, puis LANG, la première non vide.
[[nodiscard]] std::string localeCourante();

}  // namespace ravlo
