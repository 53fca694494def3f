#pragma once

#include <cstddef>

namespace ravlo::test {

/// Compte les allocations faites par le fil courant pendant sa vie. Ce binaire remplace
/// l'opérateur new global : toute allocation, même cachée dans la bibliothèque standard,
/// est vue.
class CompteurAllocations {
 public:
  CompteurAllocations();
  ~CompteurAllocations();
  CompteurAllocations(const CompteurAllocations&) = delete;
  CompteurAllocations& operator=(const CompteurAllocations&) = delete;

  [[nodiscard]] std::size_t allocations() const;
};

}  // namespace ravlo::test
