#include "link/plateforme/signaux_fin.hpp"

#include <signal.h>
#include <sys/signalfd.h>

#include <asio/read.hpp>
#include <cstring>

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

SignauxFin::SignauxFin(asio::io_context& contexte) : fd_(contexte) {
  const sigset_t s = ensemble();
  const int fd = ::signalfd(-1, &s, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd >= 0) fd_.assign(fd);
}

SignauxFin::~SignauxFin() {
  annuler();
}

void SignauxFin::attendre(std::function<void(int)> rappel) {
  if (!fd_.is_open()) return;
  asio::async_read(fd_, asio::buffer(lu_, sizeof lu_),
                   [this, rappel = std::move(rappel)](const std::error_code& e, std::size_t n) {
                     if (e || n != sizeof(signalfd_siginfo)) return;
                     signalfd_siginfo info;
                     static_assert(sizeof info == sizeof lu_);
                     std::memcpy(&info, lu_, sizeof info);
                     rappel(static_cast<int>(info.ssi_signo));
                   });
}

void SignauxFin::annuler() {
  std::error_code ignore;
  fd_.cancel(ignore);
}

}  // namespace ravlo
