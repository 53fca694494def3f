// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>
#include <string_view>

#include "protocol/base/octets.hpp"

namespace ravlo {

/// Les réglages de l'utilisateur, gardés d'un lancement à l'autre : des booléens et de
/// courtes chaînes d'octets, rangés par clé ("RavloAccueilVu", "RavloOrdinateurMuet"…). Une clé
/// absente, ou d'une autre sorte que celle demandée, se lit comme absente. L'application
/// graphique en donne une réalisation sur QSettings, les essais une en mémoire. Fil principal
/// seulement.
class MagasinReglages {
 public:
  virtual ~MagasinReglages() = default;

  [[nodiscard]] virtual std::optional<bool> lireBooleen(std::string_view cle) const = 0;
  virtual void ecrireBooleen(std::string_view cle, bool valeur) = 0;
  [[nodiscard]] virtual std::optional<Octets> lireOctets(std::string_view cle) const = 0;
  virtual void ecrireOctets(std::string_view cle, const Octets& valeur) = 0;

  /// Le booléen, faux quand il manque.
  [[nodiscard]] bool booleen(std::string_view cle) const {
    return lireBooleen(cle).value_or(false);
  }
};

}  // namespace ravlo
