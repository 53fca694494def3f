// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pipewire/sortie_pipewire.hpp"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <mutex>
#include <span>
#include <system_error>

#include "plateforme/horloge.hpp"
#include "plateforme/pipewire/outils_pipewire.hpp"
#include "plateforme/pulseaudio/contexte_pulse.hpp"
#include "plateforme/pulseaudio/requetes_pulse.hpp"

namespace ravlo {

namespace {

constexpr std::uint32_t octetsParTrame = 8;
constexpr int attenteDemarrageS = 5;

// Un lien au serveur que le système refuse : pas de serveur (pas de socket, ou personne
// derrière).
ErreurSortie erreurSysteme(int code) {
  const bool injoignable = code == ECONNREFUSED || code == ENOENT || code == EHOSTDOWN ||
                           code == ECONNRESET || code == EPIPE;
  return {injoignable ? ErreurSortie::Cas::serveurInjoignable : ErreurSortie::Cas::autre,
          "PipeWire : " + std::system_category().message(code)};
}

}  // namespace

void initialiserPipewire() {
  static std::once_flag fait;
  std::call_once(fait, [] { pw_init(nullptr, nullptr); });
}

struct SortiePipewire::Ecouteurs {
  static void traiter(void* donnees);
  static void etatChange(void* donnees, pw_stream_state ancien, pw_stream_state etat,
                         const char* erreur);

  SortiePipewire* sortie = nullptr;
  pw_stream_events evenements{};
  spa_hook crochet{};
};

void SortiePipewire::Ecouteurs::traiter(void* donnees) {
  auto* soi = static_cast<Ecouteurs*>(donnees)->sortie;
  pw_buffer* tampon = pw_stream_dequeue_buffer(soi->flux_);
  if (tampon == nullptr) return;
  spa_data& d = tampon->buffer->datas[0];
  if (d.data == nullptr) {
    pw_stream_queue_buffer(soi->flux_, tampon);
    return;
  }
  std::uint64_t trames = d.maxsize / octetsParTrame;
  if (tampon->requested != 0) trames = std::min<std::uint64_t>(trames, tampon->requested);
  std::optional<InstantNs> heure;
  pw_time t{};
  if (pw_stream_get_time_n(soi->flux_, &t, sizeof t) == 0 && t.rate.denom != 0) {
    // Du début du cycle au périphérique, plus ce qui attend devant le bloc, à 48 kHz.
    const std::int64_t retardNs =
        t.delay * 1'000'000'000LL * t.rate.num / t.rate.denom +
        static_cast<std::int64_t>(t.buffered + t.queued) * 1'000'000'000LL / 48'000;
    heure =
        hoteNs() +
        static_cast<InstantNs>(std::max<std::int64_t>(
            static_cast<std::int64_t>(t.now) + retardNs - static_cast<std::int64_t>(monotoneNs()),
            0));
  }
  auto* echantillons = static_cast<float*>(d.data);
  soi->rappel_(std::span<float>(echantillons, trames * 2), heure, false);
  d.chunk->offset = 0;
  d.chunk->stride = octetsParTrame;
  d.chunk->size = static_cast<std::uint32_t>(trames * octetsParTrame);
  pw_stream_queue_buffer(soi->flux_, tampon);
}

void SortiePipewire::Ecouteurs::etatChange(void* donnees, pw_stream_state, pw_stream_state etat,
                                           const char* erreur) {
  auto* soi = static_cast<Ecouteurs*>(donnees)->sortie;
  // Le flux qui tombe après avoir joué a perdu son serveur ; avant, il ne l'a pas trouvé.
  const auto cas =
      soi->pret_ ? ErreurSortie::Cas::serveurPerdu : ErreurSortie::Cas::serveurInjoignable;
  if (etat == PW_STREAM_STATE_ERROR) {
    soi->panne_ = ErreurSortie{cas, std::string("PipeWire : ") + (erreur != nullptr ? erreur : "")};
  } else if (etat == PW_STREAM_STATE_UNCONNECTED && soi->pret_) {
    soi->panne_ = ErreurSortie{cas, "PipeWire : stream unconnected"};
  } else if (etat == PW_STREAM_STATE_PAUSED || etat == PW_STREAM_STATE_STREAMING) {
    soi->pret_ = true;
  }
  pw_thread_loop_signal(soi->boucle_, false);
}

SortiePipewire::SortiePipewire(std::optional<std::string> sortie) : sortie_(std::move(sortie)) {}

SortiePipewire::~SortiePipewire() {
  arreter();
}

std::optional<ErreurSortie> SortiePipewire::demarrer(RappelRendu rappel) {
  arreter();
  panne_.reset();
  initialiserPipewire();
  rappel_ = std::move(rappel);
  boucle_ = pw_thread_loop_new("ravlo-sortie", nullptr);
  if (boucle_ == nullptr) return erreurSysteme(errno);
  ecouteurs_ = std::make_unique<Ecouteurs>();
  ecouteurs_->sortie = this;
  ecouteurs_->evenements.version = PW_VERSION_STREAM_EVENTS;
  ecouteurs_->evenements.process = &Ecouteurs::traiter;
  ecouteurs_->evenements.state_changed = &Ecouteurs::etatChange;
  const std::string latence = std::to_string(quantumTrames) + "/48000";
  pw_properties* proprietes = pw_properties_new(
      PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE, "Music",
      PW_KEY_APP_NAME, "ravlo-recepteur", PW_KEY_NODE_LATENCY, latence.c_str(), nullptr);
  if (sortie_) pw_properties_set(proprietes, PW_KEY_TARGET_OBJECT, sortie_->c_str());
  pw_thread_loop_lock(boucle_);
  flux_ = pw_stream_new_simple(pw_thread_loop_get_loop(boucle_), "Ravlo", proprietes,
                               &ecouteurs_->evenements, ecouteurs_.get());
  if (flux_ == nullptr) {
    // Sans serveur, le lien que crée le flux échoue déjà ici.
    const int code = errno;
    pw_thread_loop_unlock(boucle_);
    arreter();
    return erreurSysteme(code);
  }
  std::array<std::uint8_t, 1024> memoire{};
  spa_pod_builder constructeur{};
  spa_pod_builder_init(&constructeur, memoire.data(), memoire.size());
  spa_audio_info_raw format{};
  format.format = SPA_AUDIO_FORMAT_F32;
  format.rate = 48'000;
  format.channels = 2;
  format.position[0] = SPA_AUDIO_CHANNEL_FL;
  format.position[1] = SPA_AUDIO_CHANNEL_FR;
  const spa_pod* parametres[] = {
      spa_format_audio_raw_build(&constructeur, SPA_PARAM_EnumFormat, &format)};
  const auto drapeaux = static_cast<pw_stream_flags>(
      PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
  const int r = pw_stream_connect(flux_, PW_DIRECTION_OUTPUT, PW_ID_ANY, drapeaux, parametres, 1);
  if (r < 0) {
    pw_thread_loop_unlock(boucle_);
    arreter();
    return erreurSysteme(-r);
  }
  if (const int e = pw_thread_loop_start(boucle_); e < 0) {
    pw_thread_loop_unlock(boucle_);
    arreter();
    return erreurSysteme(-e);
  }
  while (!pret_ && !panne_) {
    if (pw_thread_loop_timed_wait(boucle_, attenteDemarrageS) != 0) {
      panne_ = ErreurSortie{ErreurSortie::Cas::delaiDepasse, "PipeWire : timeout"};
    }
  }
  std::optional<ErreurSortie> echec = panne_;
  pw_thread_loop_unlock(boucle_);
  if (echec) arreter();
  return echec;
}

void SortiePipewire::arreter() {
  if (boucle_ == nullptr) return;
  pw_thread_loop_stop(boucle_);  // plus aucun rappel passé ce point
  if (flux_ != nullptr) pw_stream_destroy(flux_);
  flux_ = nullptr;
  pw_thread_loop_destroy(boucle_);
  boucle_ = nullptr;
  ecouteurs_.reset();
  pret_ = false;
}

std::optional<ErreurSortie> SortiePipewire::panne() {
  if (boucle_ == nullptr) return std::nullopt;
  const VerrouPipewire verrou(boucle_);
  return panne_;
}

bool SortiePipewire::sonCoupe() {
  if (!pulse_) pulse_ = std::make_unique<ContextePulse>("ravlo-recepteur");
  VerrouBoucle verrou(*pulse_);
  if (pulse_->relier() != 0) return coupe_.load();
  // La réponse arrive plus tard sur le fil de la boucle : on rend la dernière connue.
  requetesPulse::demanderCoupure(*pulse_, sortie_ ? sortie_->c_str() : "@DEFAULT_SINK@", coupe_);
  return coupe_.load();
}

bool serveurPipewire() {
  ContextePulse contexte("ravlo-recepteur");
  VerrouBoucle verrou(contexte);
  if (contexte.relier() != 0) return false;
  const auto nom = requetesPulse::nomServeur(contexte);
  return nom.statut == 0 && nom.valeur.find("PipeWire") != std::string::npos;
}

}  // namespace ravlo
