// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>

#include "plateforme/executeur.hpp"

namespace ravlo {

/// Le fil principal des programmes sans interface graphique et des tests : le fil qui
/// appelle `executer()` fait tourner les tâches jusqu'à `arreter()`.
class PrincipalAsio final : public File {
 public:
  PrincipalAsio();
  ~PrincipalAsio() override;
  PrincipalAsio(const PrincipalAsio&) = delete;
  PrincipalAsio& operator=(const PrincipalAsio&) = delete;

  void poster(Tache tache) override;
  void posterApres(std::chrono::nanoseconds delai, Tache tache) override;
  [[nodiscard]] std::unique_ptr<Minuterie> repeter(std::chrono::nanoseconds intervalle,
                                                   std::chrono::nanoseconds tolerance,
                                                   Tache tache) override;
  [[nodiscard]] asio::io_context& contexte() override;
  [[nodiscard]] std::unique_ptr<Reveil> reveil(Tache tache) override;

  /// Fait tourner les tâches sur le fil appelant jusqu'à `arreter()`.
  void executer();
  /// Sûr depuis n'importe quel fil ; les tâches restantes ne sont pas exécutées.
  void arreter();

 private:
  struct Etat;
  std::unique_ptr<Etat> etat_;
};

}  // namespace ravlo
