// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "protocol/supervision/erreur_reseau.hpp"

namespace ravlo {

/// Les échecs propres à l'appairage. Le dialogue finit sur les deux premiers ;
/// `refusAvantDevoilement` se lit sur l'initiateur échoué sans avoir rien dévoilé.
enum class ErreurAppairage : std::uint8_t {
  pasDeReponse,     ///< rien de décisif en 8 s
  recepteurAncien,  ///< une réponse commençant par « { » : une app de récepteur trop ancienne
  /// Un `refus` avant tout dévoilement : le récepteur n'a pu juger le code (il refuse ainsi
  /// pendant sa pause contre les essais en série), qui n'est donc ni faux ni grillé.
  refusAvantDevoilement,
  codeMalForme  ///< le code tapé ne fait pas 4 chiffres : rien n'est parti
};

/// La phrase montrée à l'utilisateur, traduite pour `locale` (la phrase française à défaut).
[[nodiscard]] std::string texte(ErreurAppairage erreur, std::string_view locale);

/// Ce qui fait échouer un dialogue : un de ses échecs propres, ou l'erreur de la connexion.
using EchecDialogue = std::variant<ErreurAppairage, ErreurReseau>;

/// La phrase qui explique l'échec d'un dialogue, dans `locale`.
[[nodiscard]] std::string texte(const EchecDialogue& echec, std::string_view locale);

}  // namespace ravlo
