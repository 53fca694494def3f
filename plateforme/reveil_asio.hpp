// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>

#include "plateforme/executeur.hpp"

namespace ravlo {

/// `File::reveil` sur un contexte asio : un eventfd que le contexte guette. Sans eventfd
/// (descripteurs épuisés), chaque réveil passe par une tâche postée, qui alloue.
[[nodiscard]] std::unique_ptr<Reveil> reveilAsio(asio::io_context& contexte, Tache tache);

}  // namespace ravlo
