// SPDX-License-Identifier: MPL-2.0
#include "plateforme/signaux_fin.hpp"

#include <signal.h>
#include <sys/signalfd.h>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/read.hpp>
#include <cstring>
#include <future>

#include "plateforme/file_serie.hpp"

namespace ravlo {
namespace {

sigset_t ensemble() {
  sigset_t s;
  sigemptyset(&s);
  for (const int n : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&s, n);
  return s;
}

}  // namespace

static_assert(sizeof(signalfd_siginfo) == 128);

void SignauxFin::bloquer() {
  const sigset_t s = ensemble();
  pthread_sigmask(SIG_BLOCK, &s, nullptr);
}

struct SignauxFin::Etat {
  explicit Etat(File& file) : fd(file.contexte()) {}
  asio::posix::stream_descriptor fd;
  std::uint32_t lu[32] = {};  // une struct signalfd_siginfo (128 octets)
};

SignauxFin::SignauxFin(File& file) : etat_(std::make_unique<Etat>(file)) {
  const sigset_t s = ensemble();
  const int fd = ::signalfd(-1, &s, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd >= 0) etat_->fd.assign(fd);
}

SignauxFin::~SignauxFin() {
  annuler();
}

void SignauxFin::attendre(std::function<void(int)> rappel) {
  if (!etat_->fd.is_open()) return;
  asio::async_read(
      etat_->fd, asio::buffer(etat_->lu, sizeof etat_->lu),
      [etat = etat_.get(), rappel = std::move(rappel)](const std::error_code& e, std::size_t n) {
        if (e || n != sizeof(signalfd_siginfo)) return;
        signalfd_siginfo info;
        static_assert(sizeof info == sizeof etat->lu);
        std::memcpy(&info, etat->lu, sizeof info);
        rappel(static_cast<int>(info.ssi_signo));
      });
}

void SignauxFin::annuler() {
  std::error_code ignore;
  etat_->fd.cancel(ignore);
}

struct GuetteurSignauxFin::Etat {
  FileSerie file{"ravlo.signaux"};
  std::unique_ptr<SignauxFin> signaux;

  // Le descripteur ne se touche que sur son fil.
  void surLaFile(const std::function<void()>& tache) {
    std::promise<void> fait;
    file.poster([&] {
      tache();
      fait.set_value();
    });
    fait.get_future().wait();
  }
};

GuetteurSignauxFin::GuetteurSignauxFin(std::function<void(int)> rappel)
    : etat_(std::make_unique<Etat>()) {
  etat_->surLaFile([this, &rappel] {
    etat_->signaux = std::make_unique<SignauxFin>(etat_->file);
    etat_->signaux->attendre(std::move(rappel));
  });
}

GuetteurSignauxFin::~GuetteurSignauxFin() {
  etat_->surLaFile([this] { etat_->signaux.reset(); });
}

}  // namespace ravlo
