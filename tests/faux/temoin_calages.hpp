// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "plateforme/horloge.hpp"

namespace ravlo::essai {

/// Les calages de la machine pendant un test de son : un fil qui dort 1 ms note chaque réveil
/// en retard de plus de 4 ms. Quand la machine entière s'arrête, le serveur de son aussi, et
/// un trou dans le son capté à ce moment-là vient d'elle ; un trou sans calage vient du code.
class TemoinCalages {
 public:
  struct Calage {
    InstantNs debut, fin;  // de l'heure où le fil devait se réveiller à celle où il l'a fait
  };

  TemoinCalages()
      : fil_([this](const std::stop_token& fin) {
          while (!fin.stop_requested()) {
            const InstantNs du = hoteNs() + 1'000'000;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const InstantNs reveil = hoteNs();
            if (reveil > du + 4'000'000) {
              const std::lock_guard verrou(m_);
              calages_.push_back({du, reveil});
            }
          }
        }) {}

  /// Vrai si un calage touche [debut − marge, fin + marge].
  [[nodiscard]] bool pendant(InstantNs debut, InstantNs fin, InstantNs marge) const {
    const std::lock_guard verrou(m_);
    for (const Calage& c : calages_)
      if (c.fin + marge >= debut && c.debut <= fin + marge) return true;
    return false;
  }

  [[nodiscard]] std::size_t nombre() const {
    const std::lock_guard verrou(m_);
    return calages_.size();
  }

 private:
  mutable std::mutex m_;
  std::vector<Calage> calages_;
  std::jthread fil_;  // dernier : arrêté avant que le reste ne disparaisse
};

}  // namespace ravlo::essai
