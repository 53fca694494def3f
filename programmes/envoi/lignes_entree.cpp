// SPDX-License-Identifier: MPL-2.0
#include "programmes/envoi/lignes_entree.hpp"

#include <atomic>
#include <mutex>
#include <thread>

namespace ravlo {

std::optional<std::string> lireLigne(std::istream& entree) {
  std::string ligne;
  if (!std::getline(entree, ligne)) return std::nullopt;
  if (ligne.ends_with('\r')) ligne.pop_back();
  return ligne;
}

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
    while (auto lue = lireLigne(entree)) {
      std::string l = std::move(*lue);
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
