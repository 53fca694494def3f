// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "plateforme/synthese_vocale.hpp"

namespace ravlo {

/// La synthèse de libespeak-ng, en mode synchrone : la voix revient par le rappel de la
/// bibliothèque pendant `synthetiser`, sans fil ni son de la bibliothèque. Celle-ci tient un
/// état global : une seule instance par processus, et un seul appel à la fois (gardé ici par
/// un verrou, pour le cas où deux fils s'y risqueraient).
class SyntheseEspeak final : public SyntheseVocale {
 public:
  SyntheseEspeak() = default;
  ~SyntheseEspeak() override;
  SyntheseEspeak(const SyntheseEspeak&) = delete;
  SyntheseEspeak& operator=(const SyntheseEspeak&) = delete;

  [[nodiscard]] std::expected<VoixSynthetisee, std::string> synthetiser(
      std::string_view texte, std::string_view langue) override;

 private:
  int frequence_ = 0;  ///< 0 : bibliothèque pas encore initialisée
};

}  // namespace ravlo
