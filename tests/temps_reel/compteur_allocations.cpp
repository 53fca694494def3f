#include "temps_reel/compteur_allocations.hpp"

#include <cstdlib>
#include <new>

namespace {

thread_local std::int64_t allocations = 0;

void* allouer(std::size_t taille) {
  ++allocations;
  if (void* p = std::malloc(taille == 0 ? 1 : taille)) return p;
  throw std::bad_alloc();
}

void* allouerAligne(std::size_t taille, std::align_val_t alignement) {
  ++allocations;
  const auto a = static_cast<std::size_t>(alignement);
  const std::size_t arrondie = (taille + a - 1) / a * a;
  if (void* p = std::aligned_alloc(a, arrondie == 0 ? a : arrondie)) return p;
  throw std::bad_alloc();
}

}  // namespace

namespace ravlo::essai {
std::int64_t allocationsDuFil() {
  return allocations;
}
}  // namespace ravlo::essai

void* operator new(std::size_t taille) {
  return allouer(taille);
}
void* operator new[](std::size_t taille) {
  return allouer(taille);
}
void* operator new(std::size_t taille, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(taille == 0 ? 1 : taille);
}
void* operator new[](std::size_t taille, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(taille == 0 ? 1 : taille);
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
