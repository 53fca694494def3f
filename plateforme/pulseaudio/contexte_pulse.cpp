// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pulseaudio/contexte_pulse.hpp"

#include <pulse/error.h>

#include <thread>

#include "protocol/base/exiger.hpp"

namespace ravlo {

ContextePulse::ContextePulse(const char* nomApplication)
    : nom_(nomApplication), boucle_(pa_threaded_mainloop_new()) {
  RAVLO_EXIGER(boucle_ != nullptr);
  RAVLO_EXIGER(pa_threaded_mainloop_start(boucle_) == 0);
}

ContextePulse::~ContextePulse() {
  {
    VerrouBoucle verrou(*this);
    anciens_.push_back(contexte_);
    for (pa_context* c : anciens_) {
      if (c == nullptr) continue;
      pa_context_set_state_callback(c, nullptr, nullptr);
      pa_context_disconnect(c);
      pa_context_unref(c);
    }
    anciens_.clear();
    contexte_ = nullptr;
  }
  pa_threaded_mainloop_stop(boucle_);
  pa_threaded_mainloop_free(boucle_);
}

void ContextePulse::rappelEtat(pa_context*, void* moi) {
  static_cast<ContextePulse*>(moi)->signaler();
}

void ContextePulse::signaler() const {
  pa_threaded_mainloop_signal(boucle_, 0);
}

StatutPulse ContextePulse::relier() {
  if (contexte_ != nullptr) {
    const pa_context_state_t etat = pa_context_get_state(contexte_);
    if (etat == PA_CONTEXT_READY) return 0;
    pa_context_set_state_callback(contexte_, nullptr, nullptr);
    // Un lien qui n'a jamais abouti ne porte aucun flux : libéré tout de suite, les essais
    // répétés pendant une longue absence du serveur ne s'accumulent pas.
    if (pret_) {
      anciens_.push_back(contexte_);
    } else {
      pa_context_disconnect(contexte_);
      pa_context_unref(contexte_);
    }
    contexte_ = nullptr;
    pret_ = false;
  }
  contexte_ = pa_context_new(pa_threaded_mainloop_get_api(boucle_), nom_);
  if (contexte_ == nullptr) return PA_ERR_INTERNAL;
  pa_context_set_state_callback(contexte_, &ContextePulse::rappelEtat, this);
  if (pa_context_connect(contexte_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return erreur();
  }
  for (;;) {
    const pa_context_state_t etat = pa_context_get_state(contexte_);
    if (etat == PA_CONTEXT_READY) {
      pret_ = true;
      return 0;
    }
    if (!PA_CONTEXT_IS_GOOD(etat)) return erreur();
    pa_threaded_mainloop_wait(boucle_);
  }
}

bool ContextePulse::attendre(pa_operation* operation) {
  if (operation == nullptr) return false;
  // Verrou tenu depuis l'envoi : l'opération n'a pas pu finir sans qu'on le voie.
  pa_operation_set_state_callback(
      operation, [](pa_operation*, void* moi) { static_cast<ContextePulse*>(moi)->signaler(); },
      this);
  while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(contexte_))) break;
    pa_threaded_mainloop_wait(boucle_);
  }
  // Lien tombé en cours de route : plus aucun rappel ne doit partir vers l'appelant.
  if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
  const bool fini = pa_operation_get_state(operation) == PA_OPERATION_DONE;
  pa_operation_set_state_callback(operation, nullptr, nullptr);
  pa_operation_unref(operation);
  return fini;
}

void ContextePulse::patienter(std::chrono::milliseconds duree) {
  pa_threaded_mainloop_unlock(boucle_);
  std::this_thread::sleep_for(duree);
  pa_threaded_mainloop_lock(boucle_);
}

StatutPulse ContextePulse::erreur() const {
  const int code = contexte_ == nullptr ? PA_ERR_INTERNAL : pa_context_errno(contexte_);
  return code == 0 ? PA_ERR_UNKNOWN : code;
}

}  // namespace ravlo
