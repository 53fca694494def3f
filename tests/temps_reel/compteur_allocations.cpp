#include "temps_reel/compteur_allocations.hpp"

#include <cstdlib>
#include <new>

namespace {

thread_local bool actif = false;
thread_local std::size_t compte = 0;

void* allouer(std::size_t taille) {
  if (actif) ++compte;
  if (void* p = std::malloc(taille == 0 ? 1 : taille)) return p;
  throw std::bad_alloc();
}

void* allouerAligne(std::size_t taille, std::align_val_t alignement) {
  if (actif) ++compte;
  const auto a = static_cast<std::size_t>(alignement);
  if (void* p = std::aligned_alloc(a, (taille + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t taille) {
  return allouer(taille);
}
void* operator new[](std::size_t taille) {
  return allouer(taille);
}
void* operator new(std::size_t taille, std::align_val_t a) {
  return allouerAligne(taille, a);
}
void* operator new[](std::size_t taille, std::align_val_t a) {
  return allouerAligne(taille, a);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}

namespace ravlo::test {

CompteurAllocations::CompteurAllocations() {
  compte = 0;
  actif = true;
}

CompteurAllocations::~CompteurAllocations() {
  actif = false;
}

std::size_t CompteurAllocations::allocations() const {
  return compte;
}

}  // namespace ravlo::test
