// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QString>
#include <string>

#include "plateforme/systeme.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {

/// Un texte de la table, pour Qt. S'écrit `texteQt(texte("…", localeCourante()))` pour que
/// l'extraction des clés (xgettext, mot-clé `texte`) trouve la phrase.
[[nodiscard]] inline QString texteQt(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace ravlo
