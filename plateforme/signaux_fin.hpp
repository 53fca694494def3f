// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <functional>
#include <memory>

#include "plateforme/executeur.hpp"

namespace ravlo {

/// Les signaux qui demandent la fin d'un programme (SIGINT, SIGTERM, SIGHUP), lus par un
/// signalfd sur la file donnée.
///
/// `bloquer()` les retire de la livraison ordinaire pour tout le processus : appelé au début
/// de `main`, avant le premier fil, dont tous les fils héritent le masque. Un tel signal ne
/// tue alors jamais le programme : il attend qu'on le lise, si bien qu'un second signal
/// arrivé pendant l'arrêt (statistiques écrites, fin envoyée) ne l'interrompt pas et ne
/// change pas son statut de sortie. Sans `bloquer()` (les essais en processus), rien n'est
/// jamais lu et les signaux gardent leur effet par défaut.
///
/// Sur le fil de la file seulement.
class SignauxFin {
 public:
  static void bloquer();

  explicit SignauxFin(File& file);
  ~SignauxFin();
  SignauxFin(const SignauxFin&) = delete;
  SignauxFin& operator=(const SignauxFin&) = delete;

  /// `rappel(numero)` au premier signal lu ; une seule attente à la fois.
  void attendre(std::function<void(int)> rappel);
  void annuler();

 private:
  struct Etat;
  std::unique_ptr<Etat> etat_;
};

/// Les signaux de fin lus sur un fil à eux, pour un programme dont le fil principal n'est pas
/// une file asio (la boucle de Qt) : `rappel(numero)` y est appelé au premier signal, à
/// l'appelant de le reporter sur son fil. `SignauxFin::bloquer()` doit avoir été appelé.
class GuetteurSignauxFin {
 public:
  explicit GuetteurSignauxFin(std::function<void(int)> rappel);
  ~GuetteurSignauxFin();
  GuetteurSignauxFin(const GuetteurSignauxFin&) = delete;
  GuetteurSignauxFin& operator=(const GuetteurSignauxFin&) = delete;

 private:
  struct Etat;
  std::unique_ptr<Etat> etat_;
};

}  // namespace ravlo
