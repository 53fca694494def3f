// SPDX-License-Identifier: MPL-2.0
// Les règles de texte de l'appairage dans le navigateur : le moteur JavaScript embarque
// ICU (Intl.Segmenter, classes \p{…} des expressions, TextDecoder strict), l'hôte les
// applique ; ce fichier prend la place de texte_unicode.cpp dans le module WebAssembly.
// `rognerEspaces`, que seule la saisie d'un code appelle, n'y est pas : un appel venu plus
// tard échouerait au lien plutôt qu'à l'instanciation dans la page.
#include <algorithm>
#include <cstdint>
#include <string>

#include "protocol/appairage/texte_unicode.hpp"

extern "C" {
__attribute__((import_module("ravlo"), import_name("texte_affichable"))) std::uint32_t
ravloTexteAffichable(const char* texte, std::size_t taille, char* sortie, std::size_t place);
__attribute__((import_module("ravlo"), import_name("texte_utf8_strict"))) std::int32_t
ravloTexteUtf8Strict(const std::uint8_t* octets, std::size_t taille);
}

namespace ravlo {

std::string nomAffichable(std::string_view nom) {
  // U+FFFD à la place d'octets mal formés peut faire grandir le texte ; le résultat, lui,
  // tient en nomOctetsMax octets dès qu'il a été raccourci.
  std::string sortie(std::max(nom.size() * 3, nomOctetsMax), '\0');
  const std::uint32_t n =
      ravloTexteAffichable(nom.data(), nom.size(), sortie.data(), sortie.size());
  sortie.resize(std::min<std::size_t>(n, sortie.size()));
  return sortie;
}

bool estUtf8Strict(VueOctets octets) {
  return ravloTexteUtf8Strict(octets.data(), octets.size()) != 0;
}

}  // namespace ravlo
