// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace ravlo {

/// Le code qu'un récepteur en marche montre, laissé dans son dossier d'état pour
/// `ravlo-recepteur --code` : le fichier `code` (privé, 0600), « 4711 12345 » — les chiffres
/// puis le PID du récepteur, si bien qu'un fichier laissé par un récepteur tué n'est pas cru.
/// Écrit à chaque code montré, effacé quand le code ne sert plus et à la sortie.
struct CodeCourant {
  static constexpr const char* nomFichier = "code";

  /// Écrit `chiffres` pour le processus `pid` ; l'erreur dit ce que le système a refusé.
  [[nodiscard]] static std::optional<std::string> ecrire(const std::filesystem::path& dossier,
                                                         const std::string& chiffres, long pid);
  static void effacer(const std::filesystem::path& dossier);

  /// Les chiffres d'un récepteur en vie (`enVie(pid)`) ; nul si le fichier manque, est
  /// illisible, n'est pas privé, mal formé, ou si son récepteur est parti.
  [[nodiscard]] static std::optional<std::string> lire(const std::filesystem::path& dossier,
                                                       const std::function<bool(long)>& enVie);

  /// `ravlo-recepteur --code` : le code sur `sortie` et 0, ou une phrase sur `erreurs` et 1.
  static int afficher(const std::filesystem::path& dossier, const std::string& locale,
                      std::FILE* sortie, std::FILE* erreurs);
};

}  // namespace ravlo
