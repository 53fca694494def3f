// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace ravlo {

/// Une voix synthétisée : mono, 16 bits, à `frequence` Hz.
struct VoixSynthetisee {
  std::vector<std::int16_t> echantillons;
  int frequence = 0;
};

/// Ce qui lit un texte à voix haute. Lent (des dizaines de ms) et alloue : jamais sur le fil
/// de rendu. Un appel à la fois ; l'appelant choisit le fil.
class SyntheseVocale {
 public:
  virtual ~SyntheseVocale() = default;
  /// `texte` (UTF-8) lu dans `langue` (« fr », « en ») ; sinon la raison, brute.
  [[nodiscard]] virtual std::expected<VoixSynthetisee, std::string> synthetiser(
      std::string_view texte, std::string_view langue) = 0;
};

}  // namespace ravlo
