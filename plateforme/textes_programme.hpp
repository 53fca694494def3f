// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <filesystem>
#include <string>

namespace ravlo {

/// Où un programme trouve les catalogues de la table de textes. Installé en
/// `<préfixe>/bin/`, il lit `<préfixe>/share/locale`, où qu'on ait mis le préfixe ; lancé
/// depuis l'arbre de construction, il lit les catalogues de cette construction. Une racine ne
/// compte que si elle tient le catalogue français, que toute installation livre.
[[nodiscard]] std::filesystem::path racineCatalogues(const std::filesystem::path& executable);

/// À appeler au début de `main` de chaque programme (ravlo-envoi, ravlo-recepteur,
/// l'application), avant tout fil : lie la table de textes du processus aux catalogues
/// trouvés près de l'exécutable (/proc/self/exe) et rend la locale des textes, celle de
/// l'environnement (`localeCourante()` : LANGUAGE, puis LC_ALL, LC_MESSAGES et LANG, comme
/// gettext). Une langue sans catalogue, "C" comprise, lit le français : la table y retombe
/// d'elle-même.
std::string preparerTextes();

}  // namespace ravlo
