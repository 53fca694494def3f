// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravlo {

/// Un code QR en modules : `cote` × `cote`, ligne par ligne depuis le haut, vrai = noir. La
/// zone calme (4 modules clairs autour) n'en fait pas partie : qui le dessine l'ajoute.
struct CodeQr {
  int cote = 0;
  std::vector<bool> modules;

  /// Hors du carré, un module est clair (la zone calme).
  [[nodiscard]] bool noir(int x, int y) const {
    if (x < 0 || y < 0 || x >= cote || y >= cote) return false;
    return modules[static_cast<std::size_t>(y) * static_cast<std::size_t>(cote) +
                   static_cast<std::size_t>(x)];
  }
};

/// Le code QR de `texte` en octets, correction M (15 % des modules, un écran photographié
/// de biais), dans la plus petite version qui le tient. Vide ou trop long : rien.
[[nodiscard]] std::optional<CodeQr> coderQr(std::string_view texte);

/// Le code pour un terminal, en demi-blocs UTF-8 : chaque ligne de texte tient deux rangées
/// de modules, zone calme de 4 modules comprise. Les modules clairs sont dessinés (« █ »,
/// « ▀ », « ▄ »), les noirs laissés au fond : sur le fond sombre d'un terminal, le code se
/// lit noir sur blanc. Chaque ligne finit par '\n'.
[[nodiscard]] std::string qrEnTexte(const CodeQr& code);

}  // namespace ravlo
