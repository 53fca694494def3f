// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QString>

namespace ravlo {

/// La version de ce programme, celle du projet CMake.
[[nodiscard]] QString versionLink();

/// Le texte de la boîte « À propos » : nom, version, rôle.
[[nodiscard]] QString texteAPropos();

/// Ouvre la boîte « À propos de Ravlo Link », non modale, défaite à sa fermeture.
void montrerAPropos();

}  // namespace ravlo
