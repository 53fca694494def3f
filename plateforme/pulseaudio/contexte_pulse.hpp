// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <vector>

#include "plateforme/pulseaudio/statut_pulse.hpp"

namespace ravlo {

/// La boucle de PulseAudio (son propre fil) et le lien au serveur. Tout appel à libpulse se
/// fait boucle verrouillée (`VerrouBoucle`) ; les rappels de libpulse tournent sur le fil de
/// la boucle, verrou tenu. Le serveur est celui que désigne l'environnement (PULSE_SERVER,
/// XDG_RUNTIME_DIR) ; aucun serveur n'est lancé d'office.
class ContextePulse {
 public:
  explicit ContextePulse(const char* nomApplication);
  ~ContextePulse();
  ContextePulse(const ContextePulse&) = delete;
  ContextePulse& operator=(const ContextePulse&) = delete;

  /// Relie au serveur si ce n'est fait ou si le lien est tombé : 0 ou le code d'erreur
  /// PulseAudio. Verrou tenu.
  StatutPulse relier();
  [[nodiscard]] pa_context* contexte() const { return contexte_; }
  [[nodiscard]] pa_threaded_mainloop* boucle() const { return boucle_; }

  /// Attend la fin d'une opération (verrou tenu, relâché pendant l'attente) et la libère :
  /// vrai si elle est allée au bout. Une opération nulle (refusée d'emblée) rend faux.
  bool attendre(pa_operation* operation);
  /// Code de la dernière erreur du lien (jamais 0 : une erreur sans code devient
  /// PA_ERR_UNKNOWN).
  [[nodiscard]] StatutPulse erreur() const;
  /// Laisse passer `duree` boucle déverrouillée (verrou tenu avant et après).
  void patienter(std::chrono::milliseconds duree);
  /// Réveille qui attend ; à appeler depuis les rappels de libpulse.
  void signaler() const;

 private:
  static void rappelEtat(pa_context* contexte, void* moi);

  const char* nom_;
  pa_threaded_mainloop* boucle_ = nullptr;
  pa_context* contexte_ = nullptr;
  bool pret_ = false;  ///< `contexte_` a abouti une fois
  // Liens tombés : leurs flux peuvent encore y pointer, on les libère à la fin.
  std::vector<pa_context*> anciens_;
};

/// Tient la boucle verrouillée le temps d'une portée (verrou récursif).
class VerrouBoucle {
 public:
  explicit VerrouBoucle(const ContextePulse& contexte) : boucle_(contexte.boucle()) {
    pa_threaded_mainloop_lock(boucle_);
  }
  ~VerrouBoucle() { pa_threaded_mainloop_unlock(boucle_); }
  VerrouBoucle(const VerrouBoucle&) = delete;
  VerrouBoucle& operator=(const VerrouBoucle&) = delete;

 private:
  pa_threaded_mainloop* boucle_;
};

}  // namespace ravlo
