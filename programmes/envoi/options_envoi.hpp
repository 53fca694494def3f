// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <expected>
#include <filesystem>
#include <istream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plateforme/connexion_datagramme.hpp"

namespace ravlo {

/// La ligne de commande de `ravlo-envoi`.
struct OptionsEnvoi {
  /// Un récepteur visé, avec le code qu'il montre.
  struct Destination {
    PointReseau vers;
    /// À la place de `vers` : le nom annoncé du récepteur, à chercher sur le réseau local.
    std::optional<std::string> recepteur;
    std::string code;  ///< vide : reprendre l'appairage retenu
    bool operator==(const Destination&) const = default;
  };

  /// Dans l'ordre de la ligne de commande : appairées dans cet ordre, la première est la
  /// pièce 0 de la diffusion. Jamais vide, sauf pour `liste` ; une seule pour
  /// `faireEntendre`, sans code.
  std::vector<Destination> destinations;
  /// Seulement lister les récepteurs trouvés, puis sortir.
  bool liste = false;
  /// Seulement retirer ce récepteur (nom ou « hôte:port ») des appairages retenus.
  std::optional<std::string> oublier;
  /// Seulement demander à l'unique récepteur visé de dire son code à voix haute (sans code).
  bool faireEntendre = false;
  std::optional<std::string> nom;
  double tonHz = 440.0;
  std::optional<std::filesystem::path> wav;
  std::optional<double> secondes;
  std::optional<std::filesystem::path> stats;
  /// Envoyer ce que joue l'ordinateur plutôt qu'un ton ou un fichier.
  bool capture = false;
  /// Avec `capture` : l'ordinateur se tait pendant l'envoi.
  bool silencieux = false;
  /// Servir la page de réception : un téléphone qui l'ouvre devient un récepteur de plus,
  /// appairé au code qu'il montre (lu sur l'entrée standard, ou `codePage`).
  bool navigateur = false;
  /// Le port du serveur web ; 0 : au choix du système.
  std::uint16_t portWeb = portWebParDefaut;
  /// Le code du premier téléphone, de RAVLO_CODE ou d'un --code sans récepteur.
  std::optional<std::string> codePage;

  static constexpr std::uint16_t portWebParDefaut = 47380;

  /// Les options, ou la phrase qui dit ce qui ne va pas. Chaque `--code` appartient au
  /// `--vers` ou `--recepteur` qui le précède. Pour un seul récepteur, le code peut aussi
  /// venir avant lui, de la première ligne de `entree` pour `--code -`, sinon de
  /// `codeEnvironnement` (la valeur de RAVLO_CODE, nulle ou vide : absente) : les deux
  /// derniers ne se voient pas dans `ps`. Avec plusieurs, chacun a son `--code NNNN`.
  /// `entree` n'est lue que pour `--code -`, une fois la ligne entière acceptée. Avec
  /// `--navigateur` sans récepteur, `--code -` est la règle (les codes des téléphones se
  /// lisent à leur arrivée) et un code donné va au premier téléphone. La phrase est dans la
  /// langue de `locale`.
  [[nodiscard]] static std::expected<OptionsEnvoi, std::string> lire(
      std::span<const char* const> arguments, std::istream& entree, const char* codeEnvironnement,
      std::string_view locale);
  /// L'aide de `--help`, dans la langue de `locale` : le synopsis en un bloc, puis une
  /// ligne par remarque. Les noms des options ne se traduisent pas.
  [[nodiscard]] static std::string usage(std::string_view locale);
};

/// "127.0.0.1:50000", "[::1]:50000" ou "localhost:50000" ; le nom se résout en IPv4. Le
/// refus est dans la langue de `locale`.
[[nodiscard]] std::expected<PointReseau, std::string> lirePoint(std::string_view point,
                                                                std::string_view locale);

}  // namespace ravlo
