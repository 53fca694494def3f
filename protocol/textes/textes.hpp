// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ravlo {

/// Ce qui traduit une clé pour une locale. La table qui le fait lit des catalogues sur le
/// disque : elle vit avec la plateforme, et les programmes la lient au démarrage.
using TraducteurTextes = std::function<std::string(std::string_view cle, std::string_view locale)>;

/// Lie le traducteur du processus ; vide : chaque texte redevient sa clé.
void lierTraducteur(TraducteurTextes traducteur);

/// Marque une clé rangée pour plus tard (dans un tableau, une table) : rend la clé telle
/// quelle, mais l'extraction des clés la voit comme un appel à `texte`.
[[nodiscard]] constexpr const char* cleTexte(const char* rangee) {
  return rangee;
}

/// Texte de la table du processus pour `locale` : chaque clé est sa phrase française, rendue
/// telle quelle tant qu'aucun traducteur n'est lié. Appelable de tout fil.
[[nodiscard]] std::string texte(std::string_view cle, std::string_view locale);

/// Met `code` à la place du premier « %lld » d'un modèle traduit, et « % » à la place de
/// « %% », sans printf : une traduction fautive (une marque de trop ou oubliée) ne peut ni
/// lire la pile ni planter.
[[nodiscard]] std::string avecCode(std::string_view modele, std::int64_t code);

}  // namespace ravlo
