// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <asio/error.hpp>
#include <system_error>

#include "protocol/supervision/erreur_reseau.hpp"

namespace ravlo {

/// Une erreur d'asio ou du système dans le domaine des erreurs réseau du projet.
inline ErreurReseau erreurDe(const std::error_code& code) {
  if (code.category() == std::system_category() || code.category() == std::generic_category() ||
      code.category() == asio::error::get_system_category()) {
    return {DomaineErreurReseau::posix, code.value()};
  }
  return {DomaineErreurReseau::autre, code.value()};
}

}  // namespace ravlo
