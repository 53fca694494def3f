// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pulseaudio/etat_silence.hpp"

#include <charconv>

namespace ravlo {
namespace {

constexpr std::string_view entete = "ravlo-silence 1";
constexpr std::size_t nomMax = 1024;

// Un nom lisible sur une ligne : non vide, borné, sans caractère de contrôle.
bool nomValide(std::string_view nom) {
  if (nom.empty() || nom.size() > nomMax) return false;
  for (const char c : nom) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

// Coupe « mot reste » à la première espace.
std::pair<std::string_view, std::string_view> couper(std::string_view ligne) {
  const std::size_t espace = ligne.find(' ');
  if (espace == std::string_view::npos) return {ligne, {}};
  return {ligne.substr(0, espace), ligne.substr(espace + 1)};
}

}  // namespace

std::string EtatSilence::texte() const {
  std::string t(entete);
  t += '\n';
  if (!puitsPrecedent.empty()) t += "precedent " + puitsPrecedent + '\n';
  for (const Deplacement& d : deplaces)
    t += "deplace " + std::to_string(d.entree) + ' ' + d.puits + '\n';
  return t;
}

std::optional<EtatSilence> EtatSilence::lire(std::string_view texte) {
  if (texte.size() > 1 << 20 || texte.empty() || texte.back() != '\n') return std::nullopt;
  EtatSilence etat;
  bool premiere = true;
  while (!texte.empty()) {
    const std::size_t fin = texte.find('\n');
    const std::string_view ligne = texte.substr(0, fin);
    texte.remove_prefix(fin + 1);
    if (premiere) {
      if (ligne != entete) return std::nullopt;
      premiere = false;
      continue;
    }
    const auto [mot, reste] = couper(ligne);
    if (mot == "precedent") {
      if (!etat.puitsPrecedent.empty() || !nomValide(reste)) return std::nullopt;
      etat.puitsPrecedent = reste;
    } else if (mot == "deplace") {
      const auto [numero, puits] = couper(reste);
      Deplacement d;
      const auto [p, erreur] =
          std::from_chars(numero.data(), numero.data() + numero.size(), d.entree);
      if (erreur != std::errc() || p != numero.data() + numero.size() || numero.empty() ||
          !nomValide(puits)) {
        return std::nullopt;
      }
      d.puits = puits;
      etat.deplaces.push_back(std::move(d));
    } else {
      return std::nullopt;
    }
  }
  return etat;
}

}  // namespace ravlo
