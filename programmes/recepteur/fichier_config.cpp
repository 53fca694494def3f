// SPDX-License-Identifier: MPL-2.0
#include "programmes/recepteur/fichier_config.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

// Bien plus qu'un fichier écrit à la main : au-delà, ce n'est pas une configuration.
constexpr std::streamsize tailleMax = 64 * 1024;

std::string phrase(const std::string& modele, const std::filesystem::path& fichier,
                   const char* raison) {
  std::string s = modele;
  for (const std::string& valeur : {fichier.string(), std::string(raison)}) {
    const auto ou = s.find("%s");
    if (ou != std::string::npos) s.replace(ou, 2, valeur);
  }
  return s;
}

}  // namespace

std::filesystem::path configUtilisateur(const std::function<const char*(const char*)>& variable) {
  const auto absolu = [&](const char* nom) -> std::filesystem::path {
    const char* v = variable(nom);
    if (v == nullptr || *v != '/') return {};
    return v;
  };
  if (auto xdg = absolu("XDG_CONFIG_HOME"); !xdg.empty()) return xdg / "ravlo/recepteur.conf";
  if (auto maison = absolu("HOME"); !maison.empty()) return maison / ".config/ravlo/recepteur.conf";
  return {};
}

std::expected<ConfigRecepteur, std::string> chargerConfigRecepteur(
    const std::optional<std::filesystem::path>& nommee,
    const std::function<const char*(const char*)>& variable, const std::string& locale,
    const std::filesystem::path& systeme) {
  std::filesystem::path fichier;
  if (nommee) {
    fichier = *nommee;
  } else {
    std::error_code e;
    for (const auto& candidat : {configUtilisateur(variable), systeme}) {
      if (!candidat.empty() && std::filesystem::exists(candidat, e)) {
        fichier = candidat;
        break;
      }
    }
    if (fichier.empty()) return ConfigRecepteur{};
  }
  std::ifstream flux(fichier, std::ios::binary);
  if (!flux)
    return std::unexpected(phrase(texte("Configuration illisible « %s » : %s.", locale), fichier,
                                  std::strerror(errno)));  // NOLINT(concurrency-mt-unsafe)
  std::string contenu(static_cast<std::size_t>(tailleMax) + 1, '\0');
  flux.read(contenu.data(), tailleMax + 1);
  if (flux.bad())
    return std::unexpected(phrase(texte("Configuration illisible « %s » : %s.", locale), fichier,
                                  std::strerror(EIO)));  // NOLINT(concurrency-mt-unsafe)
  contenu.resize(static_cast<std::size_t>(flux.gcount()));
  if (contenu.size() > static_cast<std::size_t>(tailleMax))
    return std::unexpected(
        phrase(texte("Configuration trop grande « %s » : plus de 64 Kio.", locale), fichier, ""));
  auto config = lireConfigRecepteur(contenu);
  if (!config) return std::unexpected(texteErreurConfig(config.error(), fichier, locale));
  return *config;
}

}  // namespace ravlo
