// SPDX-License-Identifier: MPL-2.0
#include "plateforme/web/bonjour_page.hpp"

#include <algorithm>
#include <span>

#include "protocol/appairage/texte_unicode.hpp"

namespace ravlo {
namespace {

constexpr std::string_view entete = "ravlo-page 1";
constexpr std::size_t langueMax = 35;

bool estLangue(std::string_view l) {
  return !l.empty() && l.size() <= langueMax && std::ranges::all_of(l, [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
  });
}

}  // namespace

std::expected<BonjourPage, ErreurBonjour> lireBonjourPage(std::string_view texte) {
  if (texte.size() > tailleBonjourMax) return std::unexpected(ErreurBonjour::tropLong);
  const auto* debut = reinterpret_cast<const std::uint8_t*>(texte.data());
  if (!estUtf8Strict(VueOctets(debut, texte.size()))) {
    return std::unexpected(ErreurBonjour::pasUtf8);
  }
  BonjourPage bonjour;
  bool premiere = true;
  while (!texte.empty() || premiere) {
    const std::size_t fin = std::min(texte.find('\n'), texte.size());
    const std::string_view ligne = texte.substr(0, fin);
    texte.remove_prefix(std::min(fin + 1, texte.size()));
    if (premiere) {
      if (ligne != entete) return std::unexpected(ErreurBonjour::enteteInconnue);
      premiere = false;
      continue;
    }
    const std::size_t egal = ligne.find('=');
    if (egal == std::string_view::npos) continue;
    const std::string_view cle = ligne.substr(0, egal);
    const std::string_view valeur = ligne.substr(egal + 1);
    if (cle == "nom") bonjour.nom = nomAffichable(valeur);
    if (cle == "langue") bonjour.langue = estLangue(valeur) ? std::string(valeur) : std::string();
    if (cle == "id") bonjour.identifiant = ServiceRavlo::depuisHexadecimal(valeur);
    if (cle == "reprise") bonjour.reprise = valeur == "1";
  }
  return bonjour;
}

std::string ecrireBonjourPage(const BonjourPage& bonjour) {
  std::string texte = std::string(entete) + "\nnom=" + bonjour.nom + "\nlangue=" + bonjour.langue;
  if (bonjour.identifiant) texte += "\nid=" + ServiceRavlo::enHexadecimal(*bonjour.identifiant);
  if (bonjour.reprise) texte += "\nreprise=1";
  return texte;
}

}  // namespace ravlo
