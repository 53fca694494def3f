#pragma once

#include <filesystem>
#include <string>

// Le catalogue d'essai (po/en.po), que msgfmt compile à la construction, et la phrase qu'il
// traduit ; partagé par les essais du lecteur de catalogues et ceux de la table de textes.
namespace ravlo::essai {

inline const std::filesystem::path racineCatalogues = RAVLO_LOCALES_TEST;
inline const std::filesystem::path moAnglais =
    racineCatalogues / "en" / "LC_MESSAGES" / "Localizable.mo";
inline const std::string refus =
    "L'iPhone refuse la connexion. Ouvre Ravlo sur l'iPhone, puis réessaie.";
inline const std::string refusAnglais =
    "The iPhone refuses the connection. Open Ravlo on the iPhone, then try again.";

}  // namespace ravlo::essai
