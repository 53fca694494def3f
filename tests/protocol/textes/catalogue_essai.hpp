// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <filesystem>
#include <string>

// Le catalogue d'essai (po/en.po), que msgfmt compile à la construction, et la phrase qu'il
// traduit ; partagé par les essais du lecteur de catalogues et ceux de la table de textes.
namespace ravlo::essai {

inline const std::filesystem::path racineCatalogues = RAVLO_LOCALES_TEST;
inline const std::filesystem::path moAnglais =
    racineCatalogues / "en" / "LC_MESSAGES" / "ravlo-link.mo";
inline const std::string refus =
    "Le récepteur refuse la connexion. Ouvre l'app Ravlo ou lance ravlo-recepteur, puis réessaie.";
inline const std::string refusAnglais =
    "The receiver refuses the connection. Open the Ravlo app or start ravlo-recepteur, then try "
    "again.";

}  // namespace ravlo::essai
