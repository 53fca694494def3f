#include "link/capture/textes_capture.hpp"

namespace ravlo::textesCapture {

std::string traduire(std::string_view francais) {
  // Pas encore de table de traductions : le français est son propre repli.
  return std::string(francais);
}

std::string remplir(std::string_view modele, std::initializer_list<std::string> valeurs) {
  std::string sortie;
  sortie.reserve(modele.size() + 16);
  auto valeur = valeurs.begin();
  for (std::size_t i = 0; i < modele.size(); ++i) {
    const bool marque =
        modele[i] == '%' && i + 1 < modele.size() && (modele[i + 1] == 's' || modele[i + 1] == 'd');
    if (marque && valeur != valeurs.end()) {
      sortie += *valeur++;
      ++i;
    } else {
      sortie += modele[i];
    }
  }
  return sortie;
}

}  // namespace ravlo::textesCapture
