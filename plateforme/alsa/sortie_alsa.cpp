// SPDX-License-Identifier: MPL-2.0
#include "plateforme/alsa/sortie_alsa.hpp"

#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <mutex>

#include "plateforme/horloge.hpp"
#include "protocol/audio/format_flux.hpp"

namespace ravlo {
namespace {

// libasound écrit ses propres plaintes sur la sortie d'erreur ; la sortie dit la sienne.
void taireAlsa(const char*, int, const char*, int, const char*, ...) {}

void installerSilence() {
  static std::once_flag fait;
  std::call_once(fait, [] { snd_lib_error_set_handler(&taireAlsa); });
}

// Arrondi au plus près de x × 32 767 : le retour exact de la conversion des paquets.
std::int16_t versEntier(float x) {
  return static_cast<std::int16_t>(std::clamp(std::nearbyint(x * 32767.0F), -32768.0F, 32767.0F));
}

}  // namespace

ErreurSortie erreurSortieAlsa(int code, const std::string& peripherique) {
  using Cas = ErreurSortie::Cas;
  const auto cas = [code] {
    switch (-code) {
      case ENOENT:
      case ENXIO:
      case EINVAL:  // un nom qui ne se lit pas
        return Cas::peripheriqueIntrouvable;
      case EBUSY:
        return Cas::peripheriqueOccupe;
      case EACCES:
      case EPERM:
        return Cas::peripheriqueRefuse;
      case ENODEV:
      case EBADFD:
      case EIO:
      case ESHUTDOWN:
        return Cas::peripheriquePerdu;
      default:
        return Cas::autre;
    }
  }();
  return {cas, "ALSA " + peripherique + " : " + snd_strerror(code)};
}

SortieAlsa::SortieAlsa(std::string peripherique) : peripherique_(std::move(peripherique)) {}

SortieAlsa::~SortieAlsa() {
  arreter();
}

std::optional<ErreurSortie> SortieAlsa::demarrer(RappelRendu rappel) {
  arreter();
  installerSilence();
  erreur_ = 0;
  arrete_ = false;
  if (const int e =
          snd_pcm_open(&pcm_, peripherique_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
      e < 0) {
    pcm_ = nullptr;
    return erreurSortieAlsa(e, peripherique_);
  }
  if (auto echec = configurer()) {
    fermer();
    return echec;
  }
  arret_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (arret_ < 0) {
    const int e = errno;
    fermer();
    return erreurSortieAlsa(-e, peripherique_);
  }
  const int n = snd_pcm_poll_descriptors_count(pcm_);
  attentes_.assign(static_cast<std::size_t>(std::max(n, 0)) + 1, pollfd{});
  snd_pcm_poll_descriptors(pcm_, attentes_.data(), static_cast<unsigned>(n));
  attentes_.back() = pollfd{arret_, POLLIN, 0};
  flottants_.assign(periode_ * flux::canaux, 0.0F);
  entiers_.assign(periode_ * flux::canaux, 0);
  rappel_ = std::move(rappel);
  fil_ = std::thread([this] { tourner(); });
  return std::nullopt;
}

std::optional<ErreurSortie> SortieAlsa::configurer() {
  snd_pcm_hw_params_t* materiel = nullptr;
  snd_pcm_hw_params_alloca(&materiel);
  snd_pcm_uframes_t periode = tramesParPeriode;
  snd_pcm_uframes_t tampon = tramesParPeriode * periodesParTampon;
  int e = snd_pcm_hw_params_any(pcm_, materiel);
  if (e >= 0) e = snd_pcm_hw_params_set_access(pcm_, materiel, SND_PCM_ACCESS_RW_INTERLEAVED);
  if (e >= 0) e = snd_pcm_hw_params_set_format(pcm_, materiel, SND_PCM_FORMAT_S16_LE);
  if (e >= 0) e = snd_pcm_hw_params_set_channels(pcm_, materiel, flux::canaux);
  if (e >= 0) {
    e = snd_pcm_hw_params_set_rate(pcm_, materiel, static_cast<unsigned>(flux::tramesParSeconde),
                                   0);
  }
  if (e >= 0) e = snd_pcm_hw_params_set_period_size_near(pcm_, materiel, &periode, nullptr);
  if (e >= 0) e = snd_pcm_hw_params_set_buffer_size_near(pcm_, materiel, &tampon);
  if (e >= 0) e = snd_pcm_hw_params(pcm_, materiel);
  if (e < 0) {
    ErreurSortie refus = erreurSortieAlsa(e, peripherique_);
    if (e != -EBUSY) refus.cas = ErreurSortie::Cas::formatRefuse;
    return refus;
  }
  snd_pcm_hw_params_get_period_size(materiel, &periode, nullptr);
  snd_pcm_hw_params_get_buffer_size(materiel, &tampon);
  periode_ = periode;
  // Le son part quand le tampon est plein : pas de trou dès la première période.
  snd_pcm_sw_params_t* logiciel = nullptr;
  snd_pcm_sw_params_alloca(&logiciel);
  e = snd_pcm_sw_params_current(pcm_, logiciel);
  if (e >= 0) e = snd_pcm_sw_params_set_avail_min(pcm_, logiciel, periode);
  if (e >= 0) e = snd_pcm_sw_params_set_start_threshold(pcm_, logiciel, tampon - tampon % periode);
  if (e >= 0) e = snd_pcm_sw_params(pcm_, logiciel);
  if (e >= 0) e = snd_pcm_prepare(pcm_);
  if (e < 0) return erreurSortieAlsa(e, peripherique_);
  latenceUs_ =
      static_cast<std::uint32_t>(flux::nsDeTrames(static_cast<std::int64_t>(tampon)) / 1000);
  return std::nullopt;
}

void SortieAlsa::tourner() {
  pthread_setname_np(pthread_self(), "ravlo.alsa");
  // Gentillesse négative : accordée à root ou avec RLIMIT_NICE, refusée sinon, sans mal.
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -10);
  const auto periode = static_cast<snd_pcm_sframes_t>(periode_);
  // Un périphérique qui prend tout sans attendre (`null`) ne laisse jamais le fil à `poll`.
  while (!arrete_.load(std::memory_order_relaxed)) {
    const snd_pcm_sframes_t libres = snd_pcm_avail_update(pcm_);
    if (libres < 0) {
      if (!rattraper(libres)) return;
      continue;
    }
    if (libres < periode) {
      if (!attendre()) return;
      continue;
    }
    // La période sortira après ce que le périphérique tient déjà. Un retard qu'il ne sait pas
    // dire (le greffon pulse, avant son premier relevé) laisse la période sans heure.
    std::optional<InstantNs> heure;
    if (snd_pcm_sframes_t retard = 0; snd_pcm_delay(pcm_, &retard) == 0) {
      heure = hoteNs() +
              static_cast<InstantNs>(flux::nsDeTrames(std::max<snd_pcm_sframes_t>(retard, 0)));
    }
    rappel_(flottants_, heure, false);
    std::ranges::transform(flottants_, entiers_.begin(), versEntier);
    if (!ecrire()) return;
  }
}

// La période entière, même en plusieurs fois ; faux quand le fil doit s'arrêter. Après une
// sous-alimentation rattrapée, le reste de la période part dans le périphérique remis à zéro.
bool SortieAlsa::ecrire() {
  std::size_t faites = 0;
  while (faites < periode_ && !arrete_.load(std::memory_order_relaxed)) {
    const snd_pcm_sframes_t n =
        snd_pcm_writei(pcm_, entiers_.data() + faites * flux::canaux, periode_ - faites);
    if (n >= 0) {
      faites += static_cast<std::size_t>(n);
    } else if (n == -EAGAIN ? !attendre() : !rattraper(n)) {
      return false;
    }
  }
  return true;
}

// Attend que le périphérique prenne une période, ou qu'on arrête le fil (faux).
bool SortieAlsa::attendre() {
  if (::poll(attentes_.data(), attentes_.size(), -1) < 0) return rattraper(-errno);
  if (attentes_.back().revents != 0) return false;
  unsigned short evenements = 0;
  const int e = snd_pcm_poll_descriptors_revents(
      pcm_, attentes_.data(), static_cast<unsigned>(attentes_.size() - 1), &evenements);
  if (e < 0) return rattraper(e);
  // Une erreur signalée se lit au prochain relevé du périphérique.
  return true;
}

// -EPIPE et -ESTRPIPE se rattrapent et se comptent ; le reste arrête le fil en panne.
bool SortieAlsa::rattraper(long code) {
  const int e = static_cast<int>(code);
  if (e == -EPIPE || e == -ESTRPIPE) {
    ++sousAlimentations_;
    if (snd_pcm_recover(pcm_, e, 1) >= 0) return true;
  }
  if (e == -EINTR || e == -EAGAIN) return true;
  erreur_ = e;
  return false;
}

std::optional<ErreurSortie> SortieAlsa::panne() {
  const int e = erreur_.load();
  if (e == 0) return std::nullopt;
  return erreurSortieAlsa(e, peripherique_);
}

std::optional<std::uint32_t> SortieAlsa::latenceDemandeeUs() const {
  const std::uint32_t us = latenceUs_.load();
  return us == 0 ? std::nullopt : std::optional(us);
}

void SortieAlsa::arreter() {
  if (fil_.joinable()) {
    arrete_ = true;
    // Un échec ne laisse le compteur qu'au maximum : le fil se réveille quand même.
    [[maybe_unused]] const int reveil = eventfd_write(arret_, 1);
    fil_.join();
  }
  fermer();
}

void SortieAlsa::fermer() {
  if (pcm_ != nullptr) {
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }
  if (arret_ >= 0) ::close(arret_);
  arret_ = -1;
}

}  // namespace ravlo
