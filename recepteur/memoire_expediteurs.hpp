// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>
#include <string>

#include "protocol/reprise/secret_paire.hpp"

namespace ravlo {

/// Les expéditeurs dont le récepteur se souvient, vus du guichet : le programme les garde
/// dans un fichier (`CarnetFichier`), les essais en mémoire. Appelée sur le fil du guichet.
class MemoireExpediteurs {
 public:
  struct Paire {
    SecretPaire secret;
    std::string nom;
  };
  virtual ~MemoireExpediteurs() = default;
  /// La paire de cet identifiant, telle qu'elle est gardée maintenant : un oubli décidé
  /// ailleurs vaut dès l'ouverture suivante.
  [[nodiscard]] virtual std::optional<Paire> chercher(const IdentifiantPaire& id) = 0;
  /// Après un appairage au code réussi avec l'ordinateur `nom`.
  virtual void retenir(const SecretPaire& secret, const std::string& nom) = 0;
  /// Après une reprise réussie.
  virtual void noterVenue(const IdentifiantPaire& id) = 0;
};

}  // namespace ravlo
