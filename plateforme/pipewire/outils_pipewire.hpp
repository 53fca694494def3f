// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <pipewire/thread-loop.h>
#include <time.h>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// `pw_init` une fois par processus, au premier flux.
void initialiserPipewire();

/// L'horloge de `pw_time.now` (CLOCK_MONOTONIC).
inline InstantNs monotoneNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<InstantNs>(t.tv_sec) * 1'000'000'000 + static_cast<InstantNs>(t.tv_nsec);
}

/// La boucle verrouillée le temps d'une portée.
class VerrouPipewire {
 public:
  explicit VerrouPipewire(pw_thread_loop* boucle) : boucle_(boucle) {
    pw_thread_loop_lock(boucle_);
  }
  ~VerrouPipewire() { pw_thread_loop_unlock(boucle_); }
  VerrouPipewire(const VerrouPipewire&) = delete;
  VerrouPipewire& operator=(const VerrouPipewire&) = delete;

 private:
  pw_thread_loop* boucle_;
};

}  // namespace ravlo
