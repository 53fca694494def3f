// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QSettings>
#include <QString>

#include "plateforme/magasin_reglages.hpp"

namespace ravlo {

/// Les réglages de l'application dans le fichier INI natif de QSettings sous Linux :
/// `$XDG_CONFIG_HOME/ravlo/ravlo-link.conf` (`~/.config` sans la variable). Chaque écriture
/// part aussitôt sur le disque : un programme tué ne perd pas « RavloAccueilVu ». Un booléen
/// se relit comme tel même écrit en texte par une main humaine (« true », « false ») ; une
/// valeur d'une autre sorte se lit comme absente. Fil principal seulement.
class MagasinReglagesQt final : public MagasinReglages {
 public:
  MagasinReglagesQt();
  /// Un fichier donné (tests, autre profil).
  explicit MagasinReglagesQt(const QString& fichier);

  [[nodiscard]] std::optional<bool> lireBooleen(std::string_view cle) const override;
  void ecrireBooleen(std::string_view cle, bool valeur) override;
  [[nodiscard]] std::optional<Octets> lireOctets(std::string_view cle) const override;
  void ecrireOctets(std::string_view cle, const Octets& valeur) override;

 private:
  mutable QSettings reglages_;
};

}  // namespace ravlo
