#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "protocol/supervision/erreur_reseau.hpp"

namespace ravlo {

/// Les deux échecs propres au dialogue d'appairage.
enum class ErreurAppairage : std::uint8_t {
  pasDeReponse,  ///< rien de décisif en 8 s
  iPhoneAncien   ///< une réponse commençant par « { » : une app de récepteur trop ancienne
};

/// La phrase montrée à l'utilisateur, traduite pour `locale` (la phrase française à défaut).
[[nodiscard]] std::string texte(ErreurAppairage erreur, std::string_view locale);

/// Ce qui fait échouer un dialogue : un de ses échecs propres, ou l'erreur de la connexion.
using EchecDialogue = std::variant<ErreurAppairage, ErreurReseau>;

}  // namespace ravlo
