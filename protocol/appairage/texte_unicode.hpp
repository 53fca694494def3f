// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/base/octets.hpp"

namespace ravlo {

/// Règles de texte de l'appairage, confiées à ICU (catégories générales, grappes de
/// graphèmes étendues, UTF-8 strict) plutôt qu'à des tables faites main.

/// Taille UTF-8 maximale d'un nom d'ordinateur sur le fil.
inline constexpr std::size_t nomOctetsMax = 128;

/// Retire des deux bouts les séparateurs d'espace Unicode (catégorie Zs) et la tabulation
/// horizontale ; les fins de ligne restent. Un texte qui n'est pas de l'UTF-8 valide n'est
/// rogné que jusqu'au premier octet fautif.
[[nodiscard]] std::string_view rognerEspaces(std::string_view texte);

/// Nom montré au pair : sans aucun scalaire de contrôle (Cc) ni de format (Cf), puis
/// raccourci d'un caractère entier (grappe de graphèmes étendue) à la fois par la fin tant
/// que sa forme UTF-8 dépasse 128 octets. Peut être vide. Les octets UTF-8 mal formés de
/// l'entrée deviennent U+FFFD, si bien que le résultat est toujours de l'UTF-8 valide.
///
/// Exemple : 200 « a » donnent les 128 premiers ; 40 drapeaux de 8 octets en donnent 16.
[[nodiscard]] std::string nomAffichable(std::string_view nom);

/// Vrai quand `octets` se décode en UTF-8 sans rien de mal formé (ni forme trop longue, ni
/// demi-code de substitution, ni valeur au-delà de U+10FFFF) et que le texte décodé se
/// réencode en exactement les mêmes octets.
[[nodiscard]] bool estUtf8Strict(VueOctets octets);

}  // namespace ravlo
