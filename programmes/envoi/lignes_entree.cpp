// SPDX-License-Identifier: MPL-2.0
#include "programmes/envoi/lignes_entree.hpp"

#include <atomic>
#include <mutex>
#include <thread>

namespace ravlo {

struct LignesEntree::Etat {
  std::mutex verrou;
  Executeur* file = nullptr;  ///< nul après la destruction ; lu et écrit sous `verrou`
  std::atomic<bool> vivant{true};
  std::function<void(std::string)> ligne;
};

LignesEntree::LignesEntree(std::istream& entree, Executeur& file,
                           std::function<void(std::string)> ligne)
    : etat_(std::make_shared<Etat>()) {
  etat_->file = &file;
  etat_->ligne = std::move(ligne);
  // Détaché : un getline bloqué ne s'interrompt pas ; le fil ne tient que l'état partagé.
  std::thread([etat = etat_, &entree] {
    for (std::string l; std::getline(entree, l);) {
      if (l.ends_with('\r')) l.pop_back();
      const std::scoped_lock garde(etat->verrou);
      if (etat->file == nullptr) return;
      etat->file->poster([etat, l = std::move(l)]() mutable {
        if (etat->vivant) etat->ligne(std::move(l));
      });
    }
  }).detach();
}

LignesEntree::~LignesEntree() {
  etat_->vivant = false;
  const std::scoped_lock garde(etat_->verrou);
  etat_->file = nullptr;
}

}  // namespace ravlo
