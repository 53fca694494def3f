// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pulseaudio/flux_capture_pulse.hpp"

#include <pulse/error.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "plateforme/horloge.hpp"

namespace ravlo {
namespace {

constexpr pa_sample_spec specCapture{PA_SAMPLE_FLOAT32LE, frequenceCapture, voiesCapture};
constexpr auto octetsParTrameCapture = static_cast<std::int64_t>(voiesCapture * sizeof(float));
constexpr std::int64_t ecartMaxLisseNs = 20'000'000;
constexpr std::int64_t penteMaxInverse = 1000;  // 1000 ppm
constexpr InstantNs intervalleMinutageNs = 100'000'000;

// Durée signée de n octets du flux, à la nanoseconde près.
std::int64_t dureeNs(std::int64_t octets) {
  return flux::nsDeTrames(octets / octetsParTrameCapture);
}

}  // namespace

ResultatPulse<std::unique_ptr<FluxCapture>> FluxCapturePulse::creer(ContextePulse& contexte,
                                                                    const std::string& nom) {
  pa_stream* flux = pa_stream_new(contexte.contexte(), nom.c_str(), &specCapture, nullptr);
  if (flux == nullptr) return {contexte.erreur(), nullptr};
  return {0, std::unique_ptr<FluxCapture>(new FluxCapturePulse(contexte, flux))};
}

FluxCapturePulse::~FluxCapturePulse() {
  deconnecter();
  pa_stream_unref(flux_);
}

void FluxCapturePulse::rappelEtat(pa_stream* flux, void* moi) {
  auto* soi = static_cast<FluxCapturePulse*>(moi);
  // Nos propres déconnexions retirent ce rappel avant : un flux fini ici a été tué.
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(flux))) {
    const int code = pa_context_errno(pa_stream_get_context(flux));
    soi->echec_.store(code == 0 ? PA_ERR_KILLED : code);
  }
  soi->contexte_.signaler();
}

StatutPulse FluxCapturePulse::connecter(const std::string& source) {
  pa_stream_set_state_callback(flux_, &FluxCapturePulse::rappelEtat, this);
  pa_stream_set_read_callback(flux_, &FluxCapturePulse::rappelLecture, this);
  pa_stream_set_latency_update_callback(flux_, &FluxCapturePulse::rappelMinutage, this);
  pa_buffer_attr attributs{};
  attributs.maxlength = std::numeric_limits<std::uint32_t>::max();
  attributs.tlength = std::numeric_limits<std::uint32_t>::max();
  attributs.prebuf = std::numeric_limits<std::uint32_t>::max();
  attributs.minreq = std::numeric_limits<std::uint32_t>::max();
  attributs.fragsize = tramesParFragment * static_cast<std::uint32_t>(octetsParTrameCapture);
  const auto drapeaux =
      static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE |
                                     PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
  if (pa_stream_connect_record(flux_, source.c_str(), &attributs, drapeaux) < 0) {
    return contexte_.erreur();
  }
  connecte_ = true;
  source_ = source;
  for (;;) {
    const pa_stream_state_t etat = pa_stream_get_state(flux_);
    if (etat == PA_STREAM_READY) return 0;
    if (!PA_STREAM_IS_GOOD(etat)) return contexte_.erreur();
    pa_threaded_mainloop_wait(contexte_.boucle());
  }
}

StatutPulse FluxCapturePulse::pause(bool enPause) {
  if (pa_stream_get_state(flux_) != PA_STREAM_READY) return PA_ERR_BADSTATE;
  // Ni les octets ni l'ancre n'avancent pendant une pause : il faudra un minutage neuf.
  donneesVues_ = false;
  ancre_.reset();
  int succes = 0;
  pa_operation* operation = pa_stream_cork(
      flux_, enPause ? 1 : 0, [](pa_stream*, int ok, void* u) { *static_cast<int*>(u) = ok; },
      &succes);
  if (!contexte_.attendre(operation) || succes == 0) return contexte_.erreur();
  return 0;
}

void FluxCapturePulse::deconnecter() {
  rappel_ = nullptr;
  if (!connecte_) return;
  connecte_ = false;
  pa_stream_set_read_callback(flux_, nullptr, nullptr);
  pa_stream_set_state_callback(flux_, nullptr, nullptr);
  pa_stream_set_latency_update_callback(flux_, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(flux_))) pa_stream_disconnect(flux_);
}

void FluxCapturePulse::recaler() {
  const pa_timing_info* minutage = pa_stream_get_timing_info(flux_);
  if (minutage == nullptr || minutage->write_index_corrupt != 0) {
    ancre_.reset();
    return;
  }
  const auto us = [](pa_usec_t u) { return static_cast<std::int64_t>(u) * 1'000; };
  const std::int64_t decalage =
      us(minutage->sink_usec) - us(minutage->source_usec) - us(minutage->transport_usec);
  const Ancre mesuree{hoteNs() + static_cast<InstantNs>(decalage), minutage->write_index};
  if (!ancre_) {
    ancre_ = mesuree;
    return;
  }
  // Petit écart : on n'en prend qu'un huitième. Les minutages de PipeWire sautent de ±3 ms
  // d'une mise à jour à l'autre, et chaque saut ouvrirait un segment de l'anneau ; la dérive
  // lente entre horloges, elle, est suivie. Grand écart : un vrai saut, pris d'un coup.
  const InstantNs prevue =
      ancre_->sortieNs + static_cast<InstantNs>(dureeNs(mesuree.position - ancre_->position));
  const std::int64_t ecart = ecartSigneNs(mesuree.sortieNs, prevue);
  if (ecart > ecartMaxLisseNs || ecart < -ecartMaxLisseNs) {
    ancre_ = mesuree;
  } else {
    // Et au plus 1000 ppm du son écoulé : assez pour une sortie nulle qui tourne 450 ppm trop
    // vite ; une machine chargée, qui livre ses relevés en retard, ne tire plus l'ancre de
    // 15 ms en 2 s.
    const std::int64_t pente =
        std::abs(dureeNs(mesuree.position - ancre_->position)) / penteMaxInverse;
    const std::int64_t pas = std::clamp(ecart / 8, -pente, pente);
    ancre_ = Ancre{prevue + static_cast<InstantNs>(pas), mesuree.position};
  }
}

void FluxCapturePulse::rappelMinutage(pa_stream*, void* moi) {
  auto* soi = static_cast<FluxCapturePulse*>(moi);
  // Un minutage d'avant les données décrit une sortie au repos : il ne sert pas d'ancre.
  // Une réponse arrivée après des données a été mesurée après leur envoi (même socket).
  if (soi->donneesVues_) soi->recaler();
}

void FluxCapturePulse::rappelLecture(pa_stream* flux, std::size_t, void* moi) {
  auto* soi = static_cast<FluxCapturePulse*>(moi);
  const InstantNs maintenant = hoteNs();
  if (!soi->donneesVues_ || maintenant - soi->demandeNs_ >= intervalleMinutageNs) {
    soi->donneesVues_ = true;
    soi->demandeNs_ = maintenant;
    // Sans rappel propre : la réponse passe par `rappelMinutage`, qu'on retire en se
    // déconnectant, alors qu'un rappel d'opération pourrait survivre au flux.
    pa_operation* operation = pa_stream_update_timing_info(flux, nullptr, nullptr);
    if (operation != nullptr) pa_operation_unref(operation);
  }
  while (pa_stream_readable_size(flux) > 0) {
    const void* donnees = nullptr;
    std::size_t octets = 0;
    if (pa_stream_peek(flux, &donnees, &octets) < 0 || octets == 0) return;
    if (soi->rappel_ != nullptr && *soi->rappel_) {
      BlocCapte bloc;
      const pa_timing_info* minutage = pa_stream_get_timing_info(flux);
      if (soi->ancre_ && minutage != nullptr && minutage->read_index_corrupt == 0) {
        bloc.heure = soi->ancre_->sortieNs -
                     static_cast<InstantNs>(dureeNs(soi->ancre_->position - minutage->read_index));
      }
      // Le serveur livre des trames entières, alignées ; le reste d'un morceau tronqué ne
      // ferait pas une trame.
      const std::size_t trames = octets / static_cast<std::size_t>(octetsParTrameCapture);
      if (donnees == nullptr) {
        bloc.tramesPerdues = static_cast<std::uint32_t>(
            std::min<std::size_t>(trames, std::numeric_limits<std::uint32_t>::max()));
      } else {
        bloc.echantillons = {static_cast<const float*>(donnees), trames * voiesCapture};
      }
      (*soi->rappel_)(bloc);
    }
    pa_stream_drop(flux);
  }
}

}  // namespace ravlo
