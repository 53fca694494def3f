// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pulseaudio/sortie_pulse.hpp"

#include <pulse/error.h>

#include <sys/time.h>

#include <algorithm>
#include <ctime>
#include <limits>

#include "plateforme/horloge.hpp"
#include "plateforme/pulseaudio/requetes_pulse.hpp"

namespace ravlo {
namespace {
constexpr pa_sample_spec specLecture{PA_SAMPLE_FLOAT32LE, 48'000, 2};
constexpr std::size_t octetsParTrameSortie = 8;

// Le serveur date ses relevés à l'horloge murale.
InstantNs heureHote(const timeval& murale) {
  timespec maintenant{};
  clock_gettime(CLOCK_REALTIME, &maintenant);
  const std::int64_t muraleNs =
      static_cast<std::int64_t>(murale.tv_sec) * 1'000'000'000 + murale.tv_usec * 1'000;
  const std::int64_t maintenantNs =
      static_cast<std::int64_t>(maintenant.tv_sec) * 1'000'000'000 + maintenant.tv_nsec;
  return hoteNs() - static_cast<InstantNs>(maintenantNs - muraleNs);
}

pa_buffer_attr attributsPour(std::uint32_t latenceUs) {
  pa_buffer_attr attributs{};
  attributs.maxlength = std::numeric_limits<std::uint32_t>::max();
  attributs.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(latenceUs, &specLecture));
  attributs.prebuf = std::numeric_limits<std::uint32_t>::max();
  attributs.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(latenceUs / 3, &specLecture));
  attributs.fragsize = std::numeric_limits<std::uint32_t>::max();
  return attributs;
}
}  // namespace

ErreurSortie erreurSortiePulse(StatutPulse code) {
  using Cas = ErreurSortie::Cas;
  const auto cas = [code] {
    switch (code) {
      case PA_ERR_CONNECTIONREFUSED:
      case PA_ERR_INVALIDSERVER:
        return Cas::serveurInjoignable;
      case PA_ERR_CONNECTIONTERMINATED:
        return Cas::serveurPerdu;
      case PA_ERR_NOENTITY:
      case PA_ERR_KILLED:
        return Cas::sortieIntrouvable;
      case PA_ERR_ACCESS:
      case PA_ERR_AUTHKEY:
        return Cas::accesRefuse;
      case PA_ERR_TIMEOUT:
        return Cas::delaiDepasse;
      default:
        return Cas::autre;
    }
  }();
  return {cas, pa_strerror(code)};
}

SortiePulse::SortiePulse(std::optional<std::string> sortie, LatenceSortie::Reglages reglages)
    : sortie_(std::move(sortie)), politique_(reglages), latenceUs_(reglages.departUs) {}

SortiePulse::~SortiePulse() {
  arreter();
}

std::optional<ErreurSortie> SortiePulse::echec() {
  ErreurSortie raison = erreurSortiePulse(contexte_.erreur());
  if (flux_ != nullptr) {
    pa_stream_set_write_callback(flux_, nullptr, nullptr);
    pa_stream_set_underflow_callback(flux_, nullptr, nullptr);
    pa_stream_set_latency_update_callback(flux_, nullptr, nullptr);
    pa_stream_set_state_callback(flux_, nullptr, nullptr);
    pa_stream_unref(flux_);
    flux_ = nullptr;
  }
  return raison;
}

std::optional<ErreurSortie> SortiePulse::demarrer(RappelRendu rappel) {
  arreter();
  VerrouBoucle verrou(contexte_);
  if (const StatutPulse statut = contexte_.relier(); statut != 0) {
    return erreurSortiePulse(statut);
  }
  rappel_ = std::move(rappel);
  flux_ = pa_stream_new(contexte_.contexte(), "Ravlo", &specLecture, nullptr);
  if (flux_ == nullptr) return echec();
  pa_stream_set_state_callback(flux_, &SortiePulse::rappelEtat, this);
  pa_stream_set_write_callback(flux_, &SortiePulse::rappelEcriture, this);
  pa_stream_set_underflow_callback(flux_, &SortiePulse::rappelSousAlimentation, this);
  pa_stream_set_latency_update_callback(flux_, &SortiePulse::rappelMinutage, this);
  heureSortie_ = HeureSortie{};
  const pa_buffer_attr attributs = attributsPour(latenceUs_.load());
  const auto drapeaux =
      static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
  if (pa_stream_connect_playback(flux_, sortie_ ? sortie_->c_str() : nullptr, &attributs, drapeaux,
                                 nullptr, nullptr) < 0) {
    return echec();
  }
  for (;;) {
    const pa_stream_state_t etat = pa_stream_get_state(flux_);
    if (etat == PA_STREAM_READY) return std::nullopt;
    if (!PA_STREAM_IS_GOOD(etat)) return echec();
    pa_threaded_mainloop_wait(contexte_.boucle());
  }
}

void SortiePulse::arreter() {
  VerrouBoucle verrou(contexte_);
  if (flux_ == nullptr) return;
  pa_stream_set_write_callback(flux_, nullptr, nullptr);
  pa_stream_set_underflow_callback(flux_, nullptr, nullptr);
  pa_stream_set_latency_update_callback(flux_, nullptr, nullptr);
  pa_stream_set_state_callback(flux_, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(flux_))) pa_stream_disconnect(flux_);
  pa_stream_unref(flux_);
  flux_ = nullptr;
}

bool SortiePulse::sonCoupe() {
  VerrouBoucle verrou(contexte_);
  if (flux_ != nullptr && pa_stream_get_state(flux_) == PA_STREAM_READY) {
    // La réponse arrive plus tard sur le fil de la boucle : on rend la dernière connue.
    requetesPulse::demanderCoupure(contexte_, pa_stream_get_device_name(flux_), coupe_);
  }
  return coupe_.load();
}

std::optional<ErreurSortie> SortiePulse::panne() {
  VerrouBoucle verrou(contexte_);
  if (flux_ == nullptr || PA_STREAM_IS_GOOD(pa_stream_get_state(flux_))) return std::nullopt;
  return erreurSortiePulse(contexte_.erreur());
}

void SortiePulse::rappelEtat(pa_stream*, void* moi) {
  static_cast<SortiePulse*>(moi)->contexte_.signaler();
}

void SortiePulse::rappelSousAlimentation(pa_stream* flux, void* moi) {
  auto* soi = static_cast<SortiePulse*>(moi);
  ++soi->sousAlimentations_;
  const InstantNs maintenant = hoteNs();
  soi->heureSortie_.rompre(maintenant);
  if (const auto l = soi->politique_.sousAlimentation(maintenant)) soi->demanderLatence(flux, *l);
}

void SortiePulse::demanderLatence(pa_stream* flux, std::uint32_t latenceUs) {
  const pa_buffer_attr attributs = attributsPour(latenceUs);
  // Sans réponse attendue : un refus laisse la latence d'avant, qui joue encore.
  if (pa_operation* operation = pa_stream_set_buffer_attr(flux, &attributs, nullptr, nullptr)) {
    pa_operation_unref(operation);
    latenceUs_.store(latenceUs);
    heureSortie_.rompre(hoteNs());
  } else {
    politique_.refusee(latenceUs_.load());
  }
}

void SortiePulse::rappelMinutage(pa_stream* flux, void* moi) {
  const pa_timing_info* minutage = pa_stream_get_timing_info(flux);
  if (minutage == nullptr || minutage->read_index_corrupt != 0) return;
  static_cast<SortiePulse*>(moi)->heureSortie_.noter(
      {.heureNs = heureHote(minutage->timestamp),
       .trameLue = minutage->read_index / static_cast<std::int64_t>(octetsParTrameSortie),
       .retardNs = static_cast<std::int64_t>(minutage->sink_usec) * 1'000,
       .joue = minutage->playing != 0});
}

void SortiePulse::rappelEcriture(pa_stream* flux, std::size_t octets, void* moi) {
  auto* soi = static_cast<SortiePulse*>(moi);
  const InstantNs maintenant = hoteNs();
  if (const auto l = soi->politique_.noter(maintenant)) soi->demanderLatence(flux, *l);
  // La réponse passe par `rappelMinutage`, qu'on retire en s'arrêtant.
  if (soi->heureSortie_.aDemander(maintenant)) {
    if (pa_operation* operation = pa_stream_update_timing_info(flux, nullptr, nullptr)) {
      pa_operation_unref(operation);
    }
  }
  while (octets >= octetsParTrameSortie) {
    void* donnees = nullptr;
    std::size_t n = octets;
    if (pa_stream_begin_write(flux, &donnees, &n) < 0 || donnees == nullptr) return;
    n -= n % octetsParTrameSortie;
    if (n == 0) {
      pa_stream_cancel_write(flux);
      return;
    }
    std::optional<InstantNs> heure;
    const pa_timing_info* minutage = pa_stream_get_timing_info(flux);
    if (minutage != nullptr && minutage->write_index_corrupt == 0) {
      heure = soi->heureSortie_.heure(minutage->write_index /
                                      static_cast<std::int64_t>(octetsParTrameSortie));
    }
    soi->rappel_(std::span<float>(static_cast<float*>(donnees), n / sizeof(float)), heure, false);
    pa_stream_write(flux, donnees, n, nullptr, 0, PA_SEEK_RELATIVE);
    octets -= std::min(octets, n);
  }
}

}  // namespace ravlo
