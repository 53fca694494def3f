#pragma once

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <cstdint>
#include <functional>

namespace ravlo {

/// Les signaux qui demandent la fin d'un programme (SIGINT, SIGTERM, SIGHUP), lus par un
/// signalfd sur un contexte asio.
///
/// `bloquer()` les retire de la livraison ordinaire pour tout le processus : appelé au début
/// de `main`, avant le premier fil, dont tous les fils héritent le masque. Un tel signal ne
/// tue alors jamais le programme : il attend qu'on le lise, si bien qu'un second signal
/// arrivé pendant l'arrêt (statistiques écrites, fin envoyée) ne l'interrompt pas et ne
/// change pas son statut de sortie. Sans `bloquer()` (les essais en processus), rien n'est
/// jamais lu et les signaux gardent leur effet par défaut.
///
/// Sur le fil du contexte seulement.
class SignauxFin {
 public:
  static void bloquer();

  explicit SignauxFin(asio::io_context& contexte);
  ~SignauxFin();
  SignauxFin(const SignauxFin&) = delete;
  SignauxFin& operator=(const SignauxFin&) = delete;

  /// `rappel(numero)` au premier signal lu ; une seule attente à la fois.
  void attendre(std::function<void(int)> rappel);
  void annuler();

 private:
  asio::posix::stream_descriptor fd_;
  std::uint32_t lu_[32] = {};  // une struct signalfd_siginfo (128 octets)
};

}  // namespace ravlo
