// SPDX-License-Identifier: MPL-2.0
#include "plateforme/textes_programme.hpp"

#include "plateforme/systeme.hpp"
#include "plateforme/table_textes.hpp"

namespace ravlo {
namespace {

bool tientLeFrancais(const std::filesystem::path& racine) {
  std::error_code erreur;
  return std::filesystem::is_regular_file(racine / TableTextes::localeDeRepli / "LC_MESSAGES" /
                                              (std::string(TableTextes::domaine) + ".mo"),
                                          erreur);
}

}  // namespace

std::filesystem::path racineCatalogues(const std::filesystem::path& executable) {
  if (!executable.is_absolute()) return RAVLO_LOCALES_CONSTRUCTION;
  // Relatif au dossier des programmes : l'installation se déplace avec son préfixe.
  auto installee = (executable.parent_path() / RAVLO_LOCALES_DEPUIS_BIN).lexically_normal();
  if (tientLeFrancais(installee)) return installee;
  return RAVLO_LOCALES_CONSTRUCTION;
}

std::string preparerTextes() {
  std::error_code erreur;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", erreur);
  lierTableTextes(racineCatalogues(erreur ? std::filesystem::path{} : executable));
  return localeCourante();
}

}  // namespace ravlo
