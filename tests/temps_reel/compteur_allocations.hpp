#pragma once

#include <cstdint>

namespace ravlo::essai {

/// Allocations faites par le fil appelant depuis son démarrage, comptées par l'`operator new`
/// global que ce programme de tests remplace.
[[nodiscard]] std::int64_t allocationsDuFil();

/// Compte les allocations du fil appelant pendant sa portée.
class AucuneAllocation {
 public:
  AucuneAllocation() : depart_(allocationsDuFil()) {}
  [[nodiscard]] std::int64_t constatees() const { return allocationsDuFil() - depart_; }

 private:
  std::int64_t depart_;
};

}  // namespace ravlo::essai
