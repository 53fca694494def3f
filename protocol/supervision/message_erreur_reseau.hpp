// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <string>
#include <string_view>

#include "protocol/supervision/erreur_reseau.hpp"

namespace ravlo {

/// Phrase française qui explique une erreur réseau à l'utilisateur, traduite pour une locale
/// par la table de textes (la phrase française quand la traduction manque).
///
/// Les erreurs POSIX se reconnaissent à leur sens (ENETDOWN, ECONNREFUSED…) et non à un
/// numéro, qui change d'un système à l'autre. Toute erreur sans phrase propre donne la
/// phrase générique, qui porte le code signé en décimal.
struct MessageErreurReseau {
  [[nodiscard]] static std::string texte(ErreurReseau erreur, std::string_view locale);

  MessageErreurReseau() = delete;
};

}  // namespace ravlo
