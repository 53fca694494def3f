// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ravlo {

/// Ce que fixe un fichier de configuration du récepteur ; un champ absent laisse la ligne de
/// commande ou le défaut décider. Lignes « clé = valeur », espaces libres autour, `#` ouvre
/// un commentaire jusqu'au bout de la ligne (un nom ne tient donc pas de `#`).
///
/// Exemple : `nom = Salon` `# le salon`, puis `port = 4798`, `code-parle = non`.
struct ConfigRecepteur {
  std::optional<std::string> nom;
  std::optional<std::string> sortie;
  std::optional<std::uint16_t> port;
  std::optional<std::string> langue;
  std::optional<bool> codeParle;
  std::optional<std::filesystem::path> etat;

  bool operator==(const ConfigRecepteur&) const = default;
};

enum class CasErreurConfig : std::uint8_t {
  sansEgal,  ///< une ligne qui n'est ni vide, ni commentaire, ni « clé = valeur »
  cleInconnue,
  cleRepetee,
  valeurVide,
  portInvalide,    ///< hors de 0–65535, ou pas un nombre
  ouiNonAttendu,   ///< code-parle ne connaît que oui et non
  langueInvalide,  ///< ni lettres, ni chiffres, ni `_`, `-`, `.`, `@`
  etatRelatif,     ///< un dossier d'état relatif dépendrait du dossier courant
};

/// La première règle brisée, sa ligne (à partir de 1) et ce qui y a été lu.
struct ErreurConfig {
  CasErreurConfig cas;
  std::size_t ligne = 0;
  std::string lu;
  bool operator==(const ErreurConfig&) const = default;
};

/// Lit le contenu d'un fichier de configuration ; n'ouvre rien.
[[nodiscard]] std::expected<ConfigRecepteur, ErreurConfig> lireConfigRecepteur(
    std::string_view contenu);

/// La phrase qui nomme le fichier, la ligne et la règle, dans la langue de `locale`.
[[nodiscard]] std::string texteErreurConfig(const ErreurConfig& erreur,
                                            const std::filesystem::path& fichier,
                                            const std::string& locale);

}  // namespace ravlo
