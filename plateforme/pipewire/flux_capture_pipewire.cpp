// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pipewire/flux_capture_pipewire.hpp"

#include <pipewire/pipewire.h>
#include <pulse/error.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <array>
#include <limits>
#include <thread>

#include "plateforme/horloge.hpp"
#include "plateforme/pipewire/outils_pipewire.hpp"

namespace ravlo {
namespace {

constexpr std::uint32_t octetsParTrameCapture = voiesCapture * sizeof(float);
constexpr int attenteConnexionS = 5;
constexpr std::string_view suffixeMoniteur = ".monitor";
// Un cycle qui commence moins d'une demi-milliseconde après la fin du précédent n'a rien
// sauté : un convertisseur de fréquence rend une trame de plus ou de moins d'un cycle à l'autre.
constexpr std::int64_t toleranceTrouNs = 500'000;
constexpr std::int64_t plausibleNs = 1'000'000'000;

// Des tics du graphe (`taux` secondes chacun) en nanosecondes, sans déborder en des années.
std::int64_t nsDuGraphe(std::uint64_t tics, const spa_fraction& taux) {
  constexpr std::uint64_t seconde = 1'000'000'000;
  return static_cast<std::int64_t>(tics / taux.denom * seconde * taux.num +
                                   tics % taux.denom * seconde * taux.num / taux.denom);
}

// Un retard du graphe, signé, en nanosecondes.
std::int64_t retardNs(std::int64_t tics, const spa_fraction& taux) {
  const std::int64_t ns = nsDuGraphe(static_cast<std::uint64_t>(tics < 0 ? -tics : tics), taux);
  return tics < 0 ? -ns : ns;
}

}  // namespace

struct FluxCapturePipewire::Ecouteurs {
  static void traiter(void* donnees);
  static void etatChange(void* donnees, pw_stream_state ancien, pw_stream_state etat,
                         const char* erreur);

  FluxCapturePipewire* flux = nullptr;
  pw_stream_events evenements{};
  spa_hook crochet{};
};

ResultatPulse<std::unique_ptr<FluxCapture>> FluxCapturePipewire::creer(ContextePulse&,
                                                                       const std::string& nom) {
  return {0, std::make_unique<FluxCapturePipewire>(nom)};
}

FluxCapturePipewire::FluxCapturePipewire(std::string nom) : nom_(std::move(nom)) {}

FluxCapturePipewire::~FluxCapturePipewire() {
  arreter();
}

void FluxCapturePipewire::Ecouteurs::traiter(void* donnees) {
  FluxCapturePipewire& soi = *static_cast<Ecouteurs*>(donnees)->flux;
  pw_buffer* tampon = pw_stream_dequeue_buffer(soi.flux_);
  if (tampon == nullptr) return;
  soi.dansRappel_.store(true);
  const RappelCapture* rappel = soi.rappel_.load();
  const bool appeler = rappel != nullptr && *rappel;
  const spa_data& d = tampon->buffer->datas[0];
  if (d.data != nullptr && d.chunk != nullptr) {
    const std::uint32_t debut = std::min(d.chunk->offset, d.maxsize);
    const std::uint32_t octets = std::min(d.chunk->size, d.maxsize - debut);
    const std::uint32_t trames = octets / octetsParTrameCapture;
    BlocCapte bloc;
    BlocCapte trou;
    pw_time t{};
    // La suite se tient aussi sans rappel : un flux muet qui le reprend (le silence levé) ne
    // rapporte pas comme perdu tout le temps qu'il s'est tu.
    if (pw_stream_get_time_n(soi.flux_, &t, sizeof t) == 0 && t.rate.denom != 0) {
      const std::int64_t debutNs = nsDuGraphe(t.ticks, t.rate);
      if (soi.suiteNs_ >= 0 && debutNs - soi.suiteNs_ > toleranceTrouNs) {
        trou.tramesPerdues = static_cast<std::uint32_t>(std::min<std::int64_t>(
            flux::tramesDeNs(debutNs - soi.suiteNs_), std::numeric_limits<std::uint32_t>::max()));
      }
      soi.suiteNs_ = debutNs + flux::nsDeTrames(trames);
      // Le cycle sur l'horloge de l'hôte, plus ce que le graphe garde encore avant la sortie.
      // Une fois, sur une machine chargée, un bloc est venu daté de 1 693 s trop tard (l'âge de
      // l'horloge monotone) : une heure à plus d'une seconde du rappel n'est pas prise.
      const std::int64_t avanceNs =
          t.now + retardNs(t.delay, t.rate) - static_cast<std::int64_t>(monotoneNs());
      if (avanceNs > -plausibleNs && avanceNs < plausibleNs) {
        bloc.heure = hoteNs() + static_cast<InstantNs>(avanceNs);
      }
    }
    if (appeler) {
      if (trou.tramesPerdues > 0) (*rappel)(trou);
      bloc.echantillons = {static_cast<const float*>(SPA_PTROFF(d.data, debut, void)),
                           static_cast<std::size_t>(trames) * voiesCapture};
      (*rappel)(bloc);
    }
  }
  soi.dansRappel_.store(false);
  pw_stream_queue_buffer(soi.flux_, tampon);
}

void FluxCapturePipewire::Ecouteurs::etatChange(void* donnees, pw_stream_state,
                                                pw_stream_state etat, const char*) {
  FluxCapturePipewire& soi = *static_cast<Ecouteurs*>(donnees)->flux;
  // Tombé après avoir été prêt : la sortie a disparu (ou le serveur avec elle).
  if (etat == PW_STREAM_STATE_ERROR || (etat == PW_STREAM_STATE_UNCONNECTED && soi.pret_)) {
    soi.echec_.store(soi.pret_ ? PA_ERR_KILLED : PA_ERR_NOENTITY);
  } else if (etat == PW_STREAM_STATE_STREAMING) {
    soi.pret_ = true;
  }
  pw_thread_loop_signal(soi.boucle_, false);
}

StatutPulse FluxCapturePipewire::connecter(const std::string& source) {
  initialiserPipewire();
  source_ = source;
  boucle_ = pw_thread_loop_new("ravlo-capture", nullptr);
  if (boucle_ == nullptr) return PA_ERR_INTERNAL;
  ecouteurs_ = std::make_unique<Ecouteurs>();
  ecouteurs_->flux = this;
  ecouteurs_->evenements.version = PW_VERSION_STREAM_EVENTS;
  ecouteurs_->evenements.process = &Ecouteurs::traiter;
  ecouteurs_->evenements.state_changed = &Ecouteurs::etatChange;
  // Le nœud de la sortie porte son nom PulseAudio ; on en capte le moniteur.
  std::string sortie = source;
  if (sortie.ends_with(suffixeMoniteur)) sortie.resize(sortie.size() - suffixeMoniteur.size());
  const std::string latence = std::to_string(quantumTrames) + "/48000";
  pw_properties* proprietes = pw_properties_new(
      PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Music",
      PW_KEY_APP_NAME, nom_.c_str(), PW_KEY_NODE_LATENCY, latence.c_str(),
      PW_KEY_STREAM_CAPTURE_SINK, "true", PW_KEY_TARGET_OBJECT, sortie.c_str(),
      PW_KEY_NODE_DONT_RECONNECT, "true", nullptr);
  const VerrouPipewire verrou(boucle_);
  // La configuration des clients temps réel de PipeWire : son module passe le fil du rappel
  // en SCHED_FIFO s'il le peut (sinon rien). Sans elle, sur une machine chargée, le fil
  // manquait des cycles, et le son de chacun (des trous de 2,7 à 21 ms, plusieurs par seconde).
  contexte_ = pw_context_new(pw_thread_loop_get_loop(boucle_),
                             pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
  if (contexte_ == nullptr) {
    pw_properties_free(proprietes);
    return PA_ERR_INTERNAL;
  }
  lien_ = pw_context_connect(contexte_, nullptr, 0);
  if (lien_ == nullptr) {  // pas de serveur
    pw_properties_free(proprietes);
    return PA_ERR_CONNECTIONREFUSED;
  }
  flux_ = pw_stream_new(lien_, nom_.c_str(), proprietes);
  if (flux_ == nullptr) return PA_ERR_INTERNAL;
  pw_stream_add_listener(flux_, &ecouteurs_->crochet, &ecouteurs_->evenements, ecouteurs_.get());
  std::array<std::uint8_t, 1024> memoire{};
  spa_pod_builder constructeur{};
  spa_pod_builder_init(&constructeur, memoire.data(), memoire.size());
  spa_audio_info_raw format{};
  format.format = SPA_AUDIO_FORMAT_F32;
  format.rate = frequenceCapture;
  format.channels = voiesCapture;
  format.position[0] = SPA_AUDIO_CHANNEL_FL;
  format.position[1] = SPA_AUDIO_CHANNEL_FR;
  const spa_pod* parametres[] = {
      spa_format_audio_raw_build(&constructeur, SPA_PARAM_EnumFormat, &format)};
  const auto drapeaux =
      static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                   PW_STREAM_FLAG_RT_PROCESS | PW_STREAM_FLAG_DONT_RECONNECT);
  if (pw_stream_connect(flux_, PW_DIRECTION_INPUT, PW_ID_ANY, drapeaux, parametres, 1) < 0 ||
      pw_thread_loop_start(boucle_) < 0) {
    return PA_ERR_CONNECTIONREFUSED;
  }
  while (!pret_ && echec_.load() == 0) {
    if (pw_thread_loop_timed_wait(boucle_, attenteConnexionS) != 0) return PA_ERR_TIMEOUT;
  }
  return echec_.load();
}

void FluxCapturePipewire::installer(const RappelCapture* rappel) {
  rappel_.store(rappel);
  // Le fil temps réel a pu prendre l'ancien juste avant : on attend qu'il l'ait rendu. Rappels
  // brefs et bornés, donc attente brève.
  while (rappel == nullptr && dansRappel_.load()) std::this_thread::yield();
}

void FluxCapturePipewire::arreter() {
  rappel_.store(nullptr);
  if (boucle_ == nullptr) return;
  pw_thread_loop_stop(boucle_);  // plus aucun rappel passé ce point
  if (flux_ != nullptr) pw_stream_destroy(flux_);
  flux_ = nullptr;
  if (lien_ != nullptr) pw_core_disconnect(lien_);
  lien_ = nullptr;
  if (contexte_ != nullptr) pw_context_destroy(contexte_);
  contexte_ = nullptr;
  pw_thread_loop_destroy(boucle_);
  boucle_ = nullptr;
  ecouteurs_.reset();
}

}  // namespace ravlo
