// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Statistiques de la réserve (ms de son en file de lecture) par périodes d'une seconde :
/// la dernière valeur et la moyenne de la dernière seconde close. L'échantillon qui ouvre une
/// seconde compte dans la nouvelle.
class ReleveReserve {
 public:
  static constexpr std::uint64_t periodeNs = 1'000'000'000;

  /// Vrai quand cet échantillon a clos une période d'une seconde.
  bool noter(InstantNs maintenant, double reserveMs);

  [[nodiscard]] double reserveMs() const { return reserveMs_; }
  [[nodiscard]] std::optional<double> reserveMoyenneMs() const { return reserveMoyenneMs_; }

 private:
  double reserveMs_ = 0;
  std::optional<double> reserveMoyenneMs_;
  std::optional<InstantNs> debutSecondeNs_;
  double somme_ = 0;
  std::int64_t nombre_ = 0;
};

}  // namespace ravlo
