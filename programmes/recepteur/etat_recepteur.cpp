// SPDX-License-Identifier: MPL-2.0
#include "programmes/recepteur/etat_recepteur.hpp"

#include <string_view>

#include "plateforme/fichier_prive.hpp"

namespace ravlo {

std::filesystem::path dossierEtatRecepteur(
    const std::optional<std::filesystem::path>& option,
    const std::function<const char*(const char*)>& variable) {
  if (option) return *option;
  if (const char* systemd = variable("STATE_DIRECTORY"); systemd != nullptr) {
    const std::string_view liste = systemd;
    const std::string_view premier = liste.substr(0, liste.find(':'));
    if (premier.starts_with('/')) return std::filesystem::path(premier);
  }
  return dossierEtatUtilisateur("ravlo-recepteur", variable);
}

std::expected<IdentifiantRecepteur, std::string> identifiantRecepteur(
    const std::filesystem::path& dossier, SourceDeHasard& hasard) {
  const auto chemin = dossier / "identifiant";
  auto lu = lireFichierPrive(chemin, 64);
  if (!lu) return std::unexpected(lu.error());
  if (*lu) {
    std::string_view texte(reinterpret_cast<const char*>((*lu)->data()), (*lu)->size());
    if (texte.ends_with('\n')) texte.remove_suffix(1);
    if (auto id = ServiceRavlo::depuisHexadecimal(texte)) return *id;
    // Illisible : les ordinateurs qui s'en souvenaient le reverront comme un inconnu, ce qui
    // vaut mieux qu'un récepteur qui ne se laisse plus reprendre.
  }
  IdentifiantRecepteur id{};
  hasard.remplir(id);
  const std::string texte = ServiceRavlo::enHexadecimal(id) + '\n';
  const auto octets = std::span(reinterpret_cast<const std::uint8_t*>(texte.data()), texte.size());
  if (auto ecrit = ecrireFichierPrive(chemin, octets); !ecrit)
    return std::unexpected(ecrit.error());
  return id;
}

}  // namespace ravlo
