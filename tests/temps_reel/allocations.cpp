// SPDX-License-Identifier: MPL-2.0
// L'opérateur new global, remplacé pour compter les allocations du fil qui le demande. Les
// autres formes (tableaux) passent par celles-ci.
#include <cstddef>
#include <cstdlib>
#include <new>

thread_local bool compter = false;
thread_local std::size_t allocations = 0;

void* operator new(std::size_t taille) {
  allocations += compter ? 1 : 0;
  if (void* p = std::malloc(taille == 0 ? 1 : taille)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t taille, std::align_val_t alignement) {
  allocations += compter ? 1 : 0;
  const auto a = static_cast<std::size_t>(alignement);
  if (void* p = std::aligned_alloc(a, (taille + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
// Celui que `delete` choisit pour un objet sur-aligné de taille connue.
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
