// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <thread>

namespace ravlo::essai {

/// Interroge `condition` toutes les 10 ms jusqu'à ce qu'elle tienne, `borne` au plus, et rend
/// sa dernière réponse. Une machine chargée retarde ce qu'on attend ; une attente fixe le
/// croirait absent, celle-ci non. La borne, large, ne sert qu'à finir un test en échec.
template <class Condition>
bool attendreQue(Condition&& condition,
                 std::chrono::steady_clock::duration borne = std::chrono::seconds(20)) {
  const auto fin = std::chrono::steady_clock::now() + borne;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= fin) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace ravlo::essai
