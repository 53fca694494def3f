// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <string>
#include <string_view>

#include "plateforme/capture_audio.hpp"

namespace ravlo {

/// Ce que l'utilisateur lit d'une capture qui n'a pas démarré ou s'est arrêtée : ce qui a
/// échoué, quoi faire, et le code du serveur de son ; tiré de la table de textes dans
/// `locale`, le code en entier décimal simple.
[[nodiscard]] std::string texteErreurCapture(const ErreurCapture& erreur, std::string_view locale);

}  // namespace ravlo
