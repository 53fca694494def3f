// SPDX-License-Identifier: MPL-2.0
#include "plateforme/principal_asio.hpp"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include "plateforme/minuterie_asio.hpp"
#include "plateforme/reveil_asio.hpp"

namespace ravlo {

struct PrincipalAsio::Etat {
  asio::io_context contexte{1};
  asio::executor_work_guard<asio::io_context::executor_type> garde{contexte.get_executor()};
};

PrincipalAsio::PrincipalAsio() : etat_(std::make_unique<Etat>()) {}

PrincipalAsio::~PrincipalAsio() = default;

void PrincipalAsio::poster(Tache tache) {
  asio::post(etat_->contexte, std::move(tache));
}

void PrincipalAsio::posterApres(std::chrono::nanoseconds delai, Tache tache) {
  posterApresAsio(etat_->contexte, delai, std::move(tache));
}

std::unique_ptr<Minuterie> PrincipalAsio::repeter(std::chrono::nanoseconds intervalle,
                                                  std::chrono::nanoseconds /*tolerance*/,
                                                  Tache tache) {
  return repeterAsio(etat_->contexte, intervalle, std::move(tache));
}

asio::io_context& PrincipalAsio::contexte() {
  return etat_->contexte;
}

std::unique_ptr<Reveil> PrincipalAsio::reveil(Tache tache) {
  return reveilAsio(etat_->contexte, std::move(tache));
}

void PrincipalAsio::executer() {
  etat_->contexte.restart();
  etat_->contexte.run();
}

void PrincipalAsio::arreter() {
  etat_->contexte.stop();
}

}  // namespace ravlo
