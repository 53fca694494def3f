// SPDX-License-Identifier: MPL-2.0
#include "link/app/regles_panneau.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "protocol/textes/textes.hpp"

namespace ravlo {

void HistoriqueNiveau::ajouter(float niveau) {
  std::shift_left(valeurs.begin(), valeurs.end(), 1);
  valeurs.back() = niveau;
}

std::string filtrerCode(std::string_view saisie) {
  std::string code;
  for (const char c : saisie) {
    if (code.size() == 4) break;
    if (c >= '0' && c <= '9') code.push_back(c);
  }
  return code;
}

std::string formaterDuree(double secondes) {
  // Une durée négative ou non finie (horloge déréglée) se montre comme zéro.
  const long long s = std::isfinite(secondes) && secondes > 0
                          ? static_cast<long long>(std::min(secondes, 1e15))
                          : 0;
  char texte[32];
  if (s < 3600) {
    std::snprintf(texte, sizeof texte, "%lld:%02lld", s / 60, s % 60);
  } else {
    std::snprintf(texte, sizeof texte, "%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
  }
  return texte;
}

std::optional<std::string> selectionEntretenue(const std::optional<std::string>& selection,
                                               const std::vector<EtatPanneau::Appareil>& liste) {
  if (selection && std::ranges::any_of(liste, [&](const auto& a) { return a.id == *selection; }))
    return selection;
  if (liste.empty()) return std::nullopt;
  return liste.front().id;
}

bool appairagePossible(const std::optional<std::string>& selection, std::string_view code,
                       bool appairageEnCours, bool memorise) {
  return selection.has_value() && (code.size() == 4 || (memorise && code.empty())) &&
         !appairageEnCours;
}

bool selectionMemorisee(const std::optional<std::string>& selection,
                        const std::vector<EtatPanneau::Appareil>& liste) {
  return selection && std::ranges::any_of(
                          liste, [&](const auto& a) { return a.id == *selection && a.memorise; });
}

std::string avecNoms(std::string_view modele, std::initializer_list<std::string_view> noms) {
  std::string sortie;
  auto nom = noms.begin();
  for (std::size_t i = 0; i < modele.size(); ++i) {
    const std::string_view reste = modele.substr(i);
    if (reste.starts_with("%%")) {
      sortie += '%';
      ++i;
    } else if (nom != noms.end() && reste.starts_with("%s")) {
      sortie += *nom++;
      ++i;
    } else {
      sortie += modele[i];
    }
  }
  return sortie;
}

std::string libelleSilence(std::size_t pieces, std::string_view locale) {
  return pieces >= 2 ? texte("N'entendre que les récepteurs", locale)
                     : texte("N'entendre que le récepteur", locale);
}

std::string destinationEnvoi(const std::vector<std::string>& noms, std::string_view locale) {
  if (noms.empty()) return {};
  if (noms.size() == 1) return noms.front();
  if (noms.size() == 2 && noms[0].size() + noms[1].size() <= longueurNommee)
    return avecNoms(texte("%s et %s", locale), {noms[0], noms[1]});
  return avecCode(texte("%lld pièces", locale), static_cast<std::int64_t>(noms.size()));
}

std::string libelleCarte(const EtatPanneau::Appareil& appareil, std::string_view locale) {
  if (appareil.memorise) return appareil.nom + " · " + texte("mémorisé", locale);
  if (appareil.telephone) return appareil.nom + " · " + appareil.adresse;
  return appareil.nom;
}

}  // namespace ravlo
