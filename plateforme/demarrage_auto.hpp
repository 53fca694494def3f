// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace ravlo {

/// Lancer l'application à l'ouverture de session, ou non. Fil principal.
class DemarrageAuto {
 public:
  virtual ~DemarrageAuto() = default;
  [[nodiscard]] virtual bool actif() const = 0;
  /// Rend l'erreur du système de fichiers ; vide quand c'est fait.
  [[nodiscard]] virtual std::error_code changer(bool actif) = 0;
};

/// Le démarrage automatique des bureaux XDG : une entrée `autostart/ravlo-link.desktop` dans
/// le dossier de configuration de l'utilisateur. Elle compte comme active tant qu'elle
/// existe et qu'un outil du bureau ne l'a pas masquée (`Hidden=true`) ; la désactiver la
/// supprime.
class DemarrageAutoXdg final : public DemarrageAuto {
 public:
  /// `commande` : la ligne Exec, par exemple "ravlo-link".
  DemarrageAutoXdg(std::filesystem::path dossierConfig, std::string commande);

  /// XDG_CONFIG_HOME quand il est absolu, sinon $HOME/.config.
  [[nodiscard]] static std::filesystem::path dossierConfigUtilisateur();

  [[nodiscard]] bool actif() const override;
  [[nodiscard]] std::error_code changer(bool actif) override;
  [[nodiscard]] std::filesystem::path fichier() const;

 private:
  std::filesystem::path dossierConfig_;
  std::string commande_;
};

}  // namespace ravlo
