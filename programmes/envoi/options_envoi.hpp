#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "link/plateforme/connexion_datagramme.hpp"

namespace ravlo {

/// La ligne de commande de `ravlo-envoi`.
struct OptionsEnvoi {
  PointReseau vers;
  /// À la place de `vers` : le nom annoncé du récepteur, à chercher sur le réseau local.
  std::optional<std::string> recepteur;
  /// Seulement lister les récepteurs trouvés, puis sortir.
  bool liste = false;
  std::string code;
  std::optional<std::string> nom;
  double tonHz = 440.0;
  std::optional<std::filesystem::path> wav;
  std::optional<double> secondes;
  std::optional<std::filesystem::path> stats;
  /// Envoyer ce que joue l'ordinateur plutôt qu'un ton ou un fichier.
  bool capture = false;
  /// Avec `capture` : l'ordinateur se tait pendant l'envoi.
  bool silencieux = false;

  /// Les options, ou la phrase qui dit ce qui ne va pas.
  [[nodiscard]] static std::expected<OptionsEnvoi, std::string> lire(
      std::span<const char* const> arguments);
  static constexpr const char* usage =
      "usage : ravlo-envoi (--vers HOTE:PORT | --recepteur NOM) --code NNNN [--nom NOM]\n"
      "                    [--ton HZ | --wav FICHIER | --capture [--silencieux]]\n"
      "                    [--secondes S] [--stats FICHIER]\n"
      "        ravlo-envoi --liste\n";
};

/// "127.0.0.1:50000", "[::1]:50000" ou "localhost:50000" ; le nom se résout en IPv4.
[[nodiscard]] std::expected<PointReseau, std::string> lirePoint(std::string_view texte);

}  // namespace ravlo
