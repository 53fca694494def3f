// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravlo {

/// Ce qu'il faut pour défaire le silence de l'ordinateur si le programme meurt avant :
/// la sortie par défaut remplacée, et chaque flux de lecture déplacé avec sa sortie d'origine.
/// Tenu dans un petit fichier texte (nommé d'après la sortie nulle), par exemple :
///
///     ravlo-silence 1
///     precedent speakers
///     deplace 12 speakers
///     deplace 15 casque usb
///
/// Le nom d'une sortie est le reste de la ligne après l'espace.
struct EtatSilence {
  struct Deplacement {
    std::uint32_t entree = 0;
    std::string puits;
    bool operator==(const Deplacement&) const = default;
  };

  std::string puitsPrecedent;
  std::vector<Deplacement> deplaces;

  [[nodiscard]] std::string texte() const;
  /// Absent pour un texte qui n'est pas exactement de cette forme (fichier tronqué ou
  /// étranger) : l'appelant fait alors sans.
  [[nodiscard]] static std::optional<EtatSilence> lire(std::string_view texte);

  bool operator==(const EtatSilence&) const = default;
};

}  // namespace ravlo
