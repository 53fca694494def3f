// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <string_view>

namespace ravlo {

enum class ErreurEtatCarte : std::uint8_t {
  jsonInvalide,  ///< le texte n'est pas du JSON
  pasUnObjet,    ///< du JSON, mais pas un objet
  cleManquante,  ///< "sonCoupe" ou "enPause" absente
  pasUnBooleen   ///< l'une des deux clés ne porte pas un booléen
};

/// Les deux drapeaux que le récepteur montre sur sa carte d'état.
///
/// Forme à clés : un objet JSON aux clés "sonCoupe" et "enPause", chacune un booléen, toutes
/// deux exigées à la lecture ; d'autres clés sont ignorées.
/// Exemple : {"enPause":false,"sonCoupe":true}.
struct EtatCarte {
  bool sonCoupe = false;  ///< le son est coupé
  bool enPause = false;   ///< la lecture est en pause

  [[nodiscard]] std::string encoder() const;
  [[nodiscard]] static std::expected<EtatCarte, ErreurEtatCarte> decoder(std::string_view json);

  bool operator==(const EtatCarte&) const = default;
};

}  // namespace ravlo

template <>
struct std::hash<ravlo::EtatCarte> {
  std::size_t operator()(const ravlo::EtatCarte& e) const noexcept {
    return (e.sonCoupe ? 1u : 0u) | (e.enPause ? 2u : 0u);
  }
};
