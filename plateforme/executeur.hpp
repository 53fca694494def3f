// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "protocol/base/reveil.hpp"

namespace asio {
class io_context;  // NOLINT(readability-identifier-naming): nom d'asio
}

namespace ravlo {

using Tache = std::function<void()>;

/// Minuterie répétitive rendue par `Executeur::repeter` ; l'annuler, de n'importe quel fil,
/// garantit qu'aucun tir ne commence plus ensuite et, hors de la tâche même, attend la fin
/// du tir en cours : ne pas l'annuler en tenant un verrou que la tâche prend. La détruire
/// l'annule aussi.
class Minuterie {
 public:
  virtual ~Minuterie() = default;
  virtual void annuler() = 0;
};

/// Exécute des tâches une à une, dans l'ordre, sur un seul fil : une file série, ou le fil
/// principal. Toutes les opérations sont sûres depuis n'importe quel fil.
class Executeur {
 public:
  virtual ~Executeur() = default;

  virtual void poster(Tache tache) = 0;
  /// Après `delai` mesuré sur l'horloge continue.
  virtual void posterApres(std::chrono::nanoseconds delai, Tache tache) = 0;
  /// Premier tir tout de suite, puis toutes les `intervalle` à partir de l'échéance
  /// précédente (sans dérive) ; un tir manqué de plus d'un intervalle (veille, fil bloqué)
  /// n'est pas rattrapé en rafale. `tolerance` est le retard acceptable, indicatif.
  [[nodiscard]] virtual std::unique_ptr<Minuterie> repeter(std::chrono::nanoseconds intervalle,
                                                           std::chrono::nanoseconds tolerance,
                                                           Tache tache) = 0;
};

/// File série dont les sockets et les coroutines tournent sur un contexte asio.
class File : public Executeur {
 public:
  [[nodiscard]] virtual asio::io_context& contexte() = 0;
  /// Un réveil qui fait exécuter `tache` sur la file après ses sonneries (voir `Reveil`).
  /// Le détruire, de n'importe quel fil mais avant la file : aucune exécution ne commence
  /// plus ensuite.
  [[nodiscard]] virtual std::unique_ptr<Reveil> reveil(Tache tache) = 0;
};

}  // namespace ravlo
