// SPDX-License-Identifier: MPL-2.0
// Octets quelconques pour le lecteur de catalogues .mo : jamais de lecture hors limites, et
// chaque clé gardée se retrouve.
#include <cstdlib>

#include "protocol/textes/catalogue_textes.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  const auto catalogue = CatalogueTextes::lire(VueOctets(donnees, taille));
  if (!catalogue) return 0;
  if (catalogue->taille() > taille) std::abort();
  (void)catalogue->traduire("");
  (void)catalogue->traduire(std::string_view(reinterpret_cast<const char*>(donnees), taille / 2));
  return 0;
}
