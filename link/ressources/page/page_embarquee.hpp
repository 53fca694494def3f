// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <span>

#include "plateforme/web/serveur_web.hpp"

namespace ravlo {

/// La page de réception et ses fichiers, embarqués à la construction (« /index.html »…).
[[nodiscard]] std::span<const RessourceWeb> ressourcesPage();

}  // namespace ravlo
