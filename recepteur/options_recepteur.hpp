// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <istream>
#include <optional>
#include <span>
#include <string>

#include "protocol/appairage/code_appairage.hpp"
#include "recepteur/config_recepteur.hpp"

namespace ravlo {

/// La ligne de commande de `ravlo-recepteur`, sur ce que fixe son fichier de configuration.
struct OptionsRecepteur {
  /// Le port d'écoute quand ni la ligne de commande ni la configuration n'en disent : fixe,
  /// pour qu'un pare-feu l'ouvre une fois. Absent de /etc/services et sous la plage des ports
  /// éphémères de Linux (32768–60999), qu'aucune connexion sortante ne prend donc.
  static constexpr std::uint16_t portParDefaut = 4798;

  std::optional<std::string> nom;
  std::uint16_t port = portParDefaut;  ///< 0 : un port libre
  std::optional<CodeAppairage> code;
  /// La sortie PulseAudio ou PipeWire nommée, ou `alsa:PERIPHERIQUE` : jouer directement sur
  /// ALSA (`peripheriqueAlsa`).
  std::optional<std::string> sortie;
  std::optional<std::filesystem::path> wav;
  std::optional<double> secondes;
  std::optional<std::filesystem::path> stats;
  /// Le dossier d'état (`--etat`) ; absent : celui que choisit `dossierEtatRecepteur`.
  std::optional<std::filesystem::path> etat;
  /// `--oublier NOM` : l'expéditeur mémorisé à oublier ; puis le programme s'arrête.
  std::optional<std::string> oublier;
  bool oublierTout = false;
  bool sansAnnonce = false;
  std::optional<std::filesystem::path> config;  ///< --config
  bool codeParle = true;
  std::optional<std::string> langue;  ///< celle des textes, à la place de l'environnement
  /// La ligne d'état de chaque seconde ; sans elle, la sortie ne dit que les événements (ce
  /// que garde un journal). Le programme l'allume de lui-même sur un terminal.
  bool ligneEtat = false;
  /// `--code` sans valeur : écrire le code du récepteur qui tourne sur ce dossier d'état.
  bool afficherCode = false;
  bool aide = false;
  bool version = false;

  /// Les options, ou la phrase (dans la langue de `locale`) qui dit ce qui ne va pas.
  /// `--code -` lit le code sur la première ligne d'`entree` ; sans `--code`,
  /// `codeEnvironnement` (RAVLO_CODE) le donne s'il n'est pas vide. Ce que `config` fixe
  /// vaut quand la ligne de commande n'en dit rien.
  [[nodiscard]] static std::expected<OptionsRecepteur, std::string> lire(
      std::span<const char* const> arguments, const std::string& locale,
      std::istream* entree = nullptr, const char* codeEnvironnement = nullptr,
      const ConfigRecepteur& config = {});

  /// Le fichier que nomme le dernier `--config` des arguments, à lire avant eux.
  [[nodiscard]] static std::optional<std::filesystem::path> configNommee(
      std::span<const char* const> arguments);

  /// Le périphérique ALSA de `--sortie alsa:PERIPHERIQUE` (`default`, `hw:0,0`…), rien pour
  /// une autre sortie.
  [[nodiscard]] std::optional<std::string> peripheriqueAlsa() const;

  /// L'aide de `--help`, dans la langue de `locale`. Les noms des options ne se traduisent
  /// pas.
  [[nodiscard]] static std::string usage(const std::string& locale);
};

}  // namespace ravlo
