// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace ravlo {

/// Le nom de cette machine montré aux autres : PRETTY_HOSTNAME de /etc/machine-info quand
/// il est donné, sinon le nom d'hôte.
[[nodiscard]] std::string nomMachine(
    const std::filesystem::path& infoMachine = "/etc/machine-info");

/// La locale des textes, choisie comme gettext d'après les variables que rend `variable`
/// (nul : absente) : LC_ALL, puis LC_MESSAGES, puis LANG, la première non vide, "C" sans
/// aucune. LANGUAGE, quand il est donné, l'emporte : une liste de priorité ("en:fr") que la
/// table de textes parcourt dans l'ordre ; sauf sous "C" ou "POSIX", où gettext l'ignore
/// aussi, pour que la sortie de ces locales ne dépende de rien d'autre.
[[nodiscard]] std::string localeDesTextes(const std::function<const char*(const char*)>& variable);

/// `localeDesTextes` sur l'environnement du processus.
[[nodiscard]] std::string localeCourante();

/// Qu'aucun vidage de mémoire n'emporte les clés d'un appairage ou d'un flux : ni fichier
/// core, ni lecture de la mémoire par un autre processus du même utilisateur. À appeler au
/// démarrage, avant qu'une clé existe. Faux si le système l'a refusé.
bool interdireVidagesMemoire();

}  // namespace ravlo
