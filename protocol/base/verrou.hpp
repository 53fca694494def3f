// SPDX-License-Identifier: MPL-2.0
#pragma once

// Le noyau WebAssembly du navigateur n'a qu'un fil, et sa libc++ pas de std::mutex.
#if defined(__wasi__)
#define RAVLO_UN_SEUL_FIL 1
#else
#include <mutex>
#endif

// Annotations lues par -Wthread-safety de clang ; elles ne coûtent rien sous GCC.
#if defined(__clang__)
#define RAVLO_ANNOTATION(x) __attribute__((x))
#else
#define RAVLO_ANNOTATION(x)
#endif

#define CAPACITE(x) RAVLO_ANNOTATION(capability(x))
#define PORTEE_VERROU RAVLO_ANNOTATION(scoped_lockable)
#define GARDE_PAR(x) RAVLO_ANNOTATION(guarded_by(x))
#define EXIGE(...) RAVLO_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIERT(...) RAVLO_ANNOTATION(acquire_capability(__VA_ARGS__))
#define LIBERE(...) RAVLO_ANNOTATION(release_capability(__VA_ARGS__))

namespace ravlo {

/// Verrou court qui n'alloue pas. Jamais tenu pendant une entrée-sortie ou un rappel.
class CAPACITE("verrou") Verrou {
 public:
#if defined(RAVLO_UN_SEUL_FIL)
  void verrouiller() ACQUIERT() {}
  void deverrouiller() LIBERE() {}
#else
  void verrouiller() ACQUIERT() { mutex_.lock(); }
  void deverrouiller() LIBERE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
#endif
};

/// Tient un `Verrou` le temps d'une portée.
class PORTEE_VERROU Garde {
 public:
  explicit Garde(Verrou& verrou) ACQUIERT(verrou) : verrou_(verrou) { verrou_.verrouiller(); }
  ~Garde() LIBERE() { verrou_.deverrouiller(); }
  Garde(const Garde&) = delete;
  Garde& operator=(const Garde&) = delete;

 private:
  Verrou& verrou_;
};

}  // namespace ravlo
