// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <memory>

#include "link/app/saisie_panneau.hpp"
#include "link/diffusion/diffusion_model.hpp"
#include "plateforme/executeur.hpp"

namespace ravlo {

/// Le relevé du niveau pour l'anneau : pendant l'envoi, toutes les 90 ms (horloge continue),
/// le niveau du dernier bloc capté (lu sous le verrou de la capture ; 0 sans capture) entre
/// dans l'historique de la saisie, dont les observateurs redessinent l'anneau. Hors envoi il
/// s'arrête de lui-même.
///
/// Le panneau appelle `relancer()` quand il s'ouvre et chaque fois que l'envoi commence ou
/// cesse, et `arreter()` quand il se ferme (le détruire l'arrête aussi). Fil principal.
class TickerNiveau {
 public:
  static constexpr std::chrono::milliseconds periode{90};

  TickerNiveau(Executeur& principal, std::shared_ptr<DiffusionModel> diffusion,
               std::shared_ptr<SaisiePanneau> saisie)
      : principal_(principal), diffusion_(std::move(diffusion)), saisie_(std::move(saisie)) {}
  ~TickerNiveau() { arreter(); }
  TickerNiveau(const TickerNiveau&) = delete;
  TickerNiveau& operator=(const TickerNiveau&) = delete;

  void relancer();
  void arreter();

 private:
  void relever();

  Executeur& principal_;
  std::shared_ptr<DiffusionModel> diffusion_;
  std::shared_ptr<SaisiePanneau> saisie_;
  std::unique_ptr<Minuterie> minuterie_;
};

}  // namespace ravlo
