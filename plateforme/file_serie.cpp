// SPDX-License-Identifier: MPL-2.0
#include "plateforme/file_serie.hpp"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <atomic>

#include "plateforme/minuterie_asio.hpp"
#include "plateforme/reveil_asio.hpp"

namespace ravlo {

// Partagé par la file et son fil : le fil garde le contexte en vie jusqu'à la fin de `run`,
// même quand la file est détruite depuis ce fil.
struct FileSerie::Etat {
  asio::io_context contexte{1};
  asio::executor_work_guard<asio::io_context::executor_type> garde{contexte.get_executor()};
  std::atomic<bool> prioriteRelevee{false};
};

FileSerie::FileSerie(std::string etiquette, Priorite priorite)
    : etiquette_(std::move(etiquette)), etat_(std::make_shared<Etat>()) {
  fil_ = std::thread([etat = etat_, nom = etiquette_, priorite] {
    pthread_setname_np(pthread_self(), nom.substr(0, 15).c_str());
    if (priorite == Priorite::elevee) {
      // Gentillesse négative : accordée à root ou avec RLIMIT_NICE, refusée sinon, sans mal.
      const auto tid = static_cast<id_t>(syscall(SYS_gettid));
      etat->prioriteRelevee = setpriority(PRIO_PROCESS, tid, -10) == 0;
    }
    etat->contexte.run();
  });
}

FileSerie::~FileSerie() {
  etat_->garde.reset();
  etat_->contexte.stop();
  if (estSurLaFile()) {
    fil_.detach();
  } else {
    fil_.join();
  }
}

// La tâche peut emporter la dernière référence à la file et la détruire sur son fil avant que
// `post` ait fini de le réveiller : le contexte vit jusqu'au retour de l'appel.
void FileSerie::poster(Tache tache) {
  const std::shared_ptr<Etat> etat = etat_;
  asio::post(etat->contexte, std::move(tache));
}

void FileSerie::posterApres(std::chrono::nanoseconds delai, Tache tache) {
  const std::shared_ptr<Etat> etat = etat_;
  posterApresAsio(etat->contexte, delai, std::move(tache));
}

std::unique_ptr<Minuterie> FileSerie::repeter(std::chrono::nanoseconds intervalle,
                                              std::chrono::nanoseconds /*tolerance*/, Tache tache) {
  return repeterAsio(etat_->contexte, intervalle, std::move(tache));
}

asio::io_context& FileSerie::contexte() {
  return etat_->contexte;
}

std::unique_ptr<Reveil> FileSerie::reveil(Tache tache) {
  return reveilAsio(etat_->contexte, std::move(tache));
}

bool FileSerie::prioriteRelevee() const {
  return etat_->prioriteRelevee.load();
}

}  // namespace ravlo
