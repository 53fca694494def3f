// SPDX-License-Identifier: MPL-2.0
#include "protocol/messages/etat_carte.hpp"

#include <nlohmann/json.hpp>

namespace ravlo {
namespace {

constexpr const char* cleSonCoupe = "sonCoupe";
constexpr const char* cleEnPause = "enPause";

}  // namespace

std::string EtatCarte::encoder() const {
  const nlohmann::json objet{{cleSonCoupe, sonCoupe}, {cleEnPause, enPause}};
  return objet.dump();
}

std::expected<EtatCarte, ErreurEtatCarte> EtatCarte::decoder(std::string_view json) {
  // Sans exceptions : un texte invalide donne une valeur « rejetée ».
  const nlohmann::json objet = nlohmann::json::parse(json, nullptr, false);
  if (objet.is_discarded()) return std::unexpected(ErreurEtatCarte::jsonInvalide);
  if (!objet.is_object()) return std::unexpected(ErreurEtatCarte::pasUnObjet);
  const auto sonCoupe = objet.find(cleSonCoupe);
  const auto enPause = objet.find(cleEnPause);
  if (sonCoupe == objet.end() || enPause == objet.end()) {
    return std::unexpected(ErreurEtatCarte::cleManquante);
  }
  if (!sonCoupe->is_boolean() || !enPause->is_boolean()) {
    return std::unexpected(ErreurEtatCarte::pasUnBooleen);
  }
  return EtatCarte{.sonCoupe = sonCoupe->get<bool>(), .enPause = enPause->get<bool>()};
}

}  // namespace ravlo
