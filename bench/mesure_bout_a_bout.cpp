// Latence « bout à bout » : le temps entre le son que l'ordinateur joue et celui que le
// récepteur rend, mesuré sur un seul démon PulseAudio qui porte les deux sorties.
//
//   mesure_bout_a_bout [--depart SORTIE] [--arrivee SORTIE] [--secondes S] [--fenetre MS]
//                      [--json FICHIER]
//
// Joue dans --depart (défaut « ordinateur ») un ton discret à −34 dBFS ponctué d'un clic
// toutes les 0,5 s, enregistre les moniteurs des deux sorties, repère chaque clic au départ
// et à l'arrivée et imprime une ligne par seconde, puis le résumé (médiane, p99).
//
// Les deux moniteurs sont datés de la même façon sur la même horloge (CLOCK_MONOTONIC moins
// la latence que PulseAudio annonce pour la trame la plus ancienne non lue) ; l'ancrage d'un
// flux est le minimum, sur tous ses blocs, de « heure du bloc − position/48 kHz » : un rappel
// en retard ne fait que s'en éloigner. L'erreur commune aux deux moniteurs s'annule.
//
// À l'arrivée, entre le premier et le dernier clic, le ton est aussi suivi échantillon par
// échantillon : « trous » (le ton tombe sous 5 % de son niveau pendant plus d'1 ms) et
// « discontinuités » (un échantillon que la sinusoïde ne prédit pas : coupe, recollement,
// saut de phase), de quoi comparer des récepteurs qui cachent leurs pertes différemment.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/analyse_ton.hpp"

namespace {

using ravlo::mesure::AnalyseTon;

constexpr double frequence = 48'000;
constexpr double seuilClic = 0.25;
constexpr double refractaireS = 0.2;
constexpr std::int64_t periodeClic = 24'000;  // 0,5 s
constexpr int dureeClic = 96;                 // 2 ms

std::int64_t monotoneNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

struct Enregistrement {
  std::string nom;
  pa_stream* flux = nullptr;
  std::int64_t trames = 0;
  std::int64_t ancrageNs = std::numeric_limits<std::int64_t>::max();
  std::int64_t dernierClic = -1'000'000;
  std::vector<std::int64_t> clics;  // positions en trames
  AnalyseTon ton;
  bool pret = false;
  bool echec = false;

  [[nodiscard]] double heureMs(std::int64_t position) const {
    return (static_cast<double>(ancrageNs) + static_cast<double>(position) * 1e9 / frequence) / 1e6;
  }
};

struct Lecture {
  pa_stream* flux = nullptr;
  std::int64_t trames = 0;
  std::int64_t finTrames = 0;
  bool echec = false;
};

pa_threaded_mainloop* boucle = nullptr;
pa_context* contexte = nullptr;

void surEtatContexte(pa_context* c, void*) {
  switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY:
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      pa_threaded_mainloop_signal(boucle, 0);
      break;
    default:
      break;
  }
}

void surEtatEnregistrement(pa_stream* s, void* moi) {
  auto& e = *static_cast<Enregistrement*>(moi);
  if (pa_stream_get_state(s) == PA_STREAM_FAILED) e.echec = true;
  pa_threaded_mainloop_signal(boucle, 0);
}

void surLecture(pa_stream* s, std::size_t, void* moi) {
  auto& e = *static_cast<Enregistrement*>(moi);
  const void* donnees = nullptr;
  std::size_t octets = 0;
  while (pa_stream_readable_size(s) > 0) {
    pa_usec_t latence = 0;
    int negative = 0;
    const bool datee = pa_stream_get_latency(s, &latence, &negative) == 0;
    const std::int64_t maintenant = monotoneNs();
    if (pa_stream_peek(s, &donnees, &octets) < 0 || octets == 0) return;
    if (datee) {
      const auto l = static_cast<std::int64_t>(latence) * 1000 * (negative != 0 ? -1 : 1);
      const auto ancrage =
          maintenant - l -
          static_cast<std::int64_t>(static_cast<double>(e.trames) * 1e9 / frequence);
      e.ancrageNs = std::min(e.ancrageNs, ancrage);
    }
    const auto n = static_cast<std::int64_t>(octets / (2 * sizeof(float)));
    if (donnees != nullptr) {
      const auto* f = static_cast<const float*>(donnees);
      for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t position = e.trames + i;
        if (std::fabs(f[2 * i]) > seuilClic &&
            static_cast<double>(position - e.dernierClic) > refractaireS * frequence) {
          e.clics.push_back(position);
          e.dernierClic = position;
        }
        e.ton.echantillon(position, f[2 * i]);
      }
      e.pret = true;
    }
    e.trames += n;
    pa_stream_drop(s);
  }
}

void surEcriture(pa_stream* s, std::size_t octets, void* moi) {
  auto& l = *static_cast<Lecture*>(moi);
  const auto n = static_cast<std::int64_t>(octets / (2 * sizeof(float)));
  std::vector<float> bloc(static_cast<std::size_t>(2 * n));
  for (std::int64_t i = 0; i < n; ++i) {
    const std::int64_t t = l.trames + i;
    double x = 0;
    if (t < l.finTrames) {
      x = 0.02 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(t) / frequence);
      if (t % periodeClic < dureeClic)
        x = 0.8 * std::sin(2 * std::numbers::pi * 3000 * static_cast<double>(t) / frequence);
    }
    bloc[static_cast<std::size_t>(2 * i)] = bloc[static_cast<std::size_t>(2 * i + 1)] =
        static_cast<float>(x);
  }
  l.trames += n;
  if (pa_stream_write(s, bloc.data(), bloc.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE) <
      0)
    l.echec = true;
}

constexpr pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 48'000, 2};

pa_buffer_attr attributs(int ms) {
  pa_buffer_attr a{};
  a.maxlength = static_cast<std::uint32_t>(-1);
  a.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(ms * PA_USEC_PER_MSEC, &format));
  a.prebuf = static_cast<std::uint32_t>(-1);
  a.minreq = static_cast<std::uint32_t>(-1);
  a.fragsize = a.tlength;
  return a;
}

bool enregistrer(Enregistrement& e) {
  e.flux = pa_stream_new(contexte, ("mesure " + e.nom).c_str(), &format, nullptr);
  if (e.flux == nullptr) return false;
  pa_stream_set_state_callback(e.flux, surEtatEnregistrement, &e);
  pa_stream_set_read_callback(e.flux, surLecture, &e);
  const auto a = attributs(5);
  const auto source = e.nom + ".monitor";
  // DONT_MOVE : mesurer ce que joue cette sortie-là, jamais une autre.
  return pa_stream_connect_record(
             e.flux, source.c_str(), &a,
             static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                            PA_STREAM_INTERPOLATE_TIMING |
                                            PA_STREAM_AUTO_TIMING_UPDATE)) == 0;
}

double centile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const auto i = static_cast<std::size_t>(std::min(
      std::ceil(p / 100 * static_cast<double>(v.size())) - 1, static_cast<double>(v.size() - 1)));
  return v[std::max<std::size_t>(i, 0)];
}

// Chaque clic parti trouve le premier clic arrivé dans la fenêtre qui suit (5 ms de tolérance
// avant : le bruit de datation). Au-delà de la période des clics, l'appariement serait ambigu.
double fenetreMs = 400;

std::vector<double> apparier(const Enregistrement& depart, const Enregistrement& arrivee) {
  std::vector<double> retards;
  std::size_t j = 0;
  for (const auto p : depart.clics) {
    const double t = depart.heureMs(p);
    while (j < arrivee.clics.size() && arrivee.heureMs(arrivee.clics[j]) < t - 5) ++j;
    if (j < arrivee.clics.size() && arrivee.heureMs(arrivee.clics[j]) - t < fenetreMs) {
      retards.push_back(arrivee.heureMs(arrivee.clics[j]) - t);
      ++j;
    }
  }
  return retards;
}

void attendre(double secondes) {
  pa_threaded_mainloop_unlock(boucle);
  const timespec d{static_cast<time_t>(secondes),
                   static_cast<long>((secondes - std::floor(secondes)) * 1e9)};
  ::nanosleep(&d, nullptr);
  pa_threaded_mainloop_lock(boucle);
}

int usage() {
  std::fprintf(stderr,
               "usage : mesure_bout_a_bout [--depart SORTIE] [--arrivee SORTIE] [--secondes S] "
               "[--fenetre MS] [--json FICHIER]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Enregistrement depart;
  depart.nom = "ordinateur";
  Enregistrement arrivee;
  arrivee.nom = "recepteur";
  double secondes = 10;
  std::optional<std::string> json;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (i + 1 >= argc) return usage();
    if (a == "--depart") {
      depart.nom = argv[++i];
    } else if (a == "--arrivee") {
      arrivee.nom = argv[++i];
    } else if (a == "--secondes") {
      secondes = std::atof(argv[++i]);
      if (!(secondes > 0 && secondes < 3600)) return usage();
    } else if (a == "--fenetre") {
      fenetreMs = std::atof(argv[++i]);
      if (!(fenetreMs > 0 && fenetreMs < 495)) return usage();
    } else if (a == "--json") {
      json = argv[++i];
    } else {
      return usage();
    }
  }

  boucle = pa_threaded_mainloop_new();
  contexte = pa_context_new(pa_threaded_mainloop_get_api(boucle), "ravlo mesure");
  pa_context_set_state_callback(contexte, surEtatContexte, nullptr);
  pa_threaded_mainloop_lock(boucle);
  pa_threaded_mainloop_start(boucle);
  int statut = 1;
  Lecture lecture{};
  if (pa_context_connect(contexte, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    std::fprintf(stderr, "pas de serveur de son\n");
    goto fin;
  }
  while (pa_context_get_state(contexte) != PA_CONTEXT_READY) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(contexte))) {
      std::fprintf(stderr, "pas de serveur de son\n");
      goto fin;
    }
    pa_threaded_mainloop_wait(boucle);
  }
  if (!enregistrer(depart) || !enregistrer(arrivee)) {
    std::fprintf(stderr, "enregistrement impossible\n");
    goto fin;
  }
  // Le moniteur d'une sortie nulle au repos ne livre qu'au bout d'une à deux secondes.
  for (int essai = 0; essai < 100 && !(depart.pret && arrivee.pret); ++essai) {
    if (depart.echec || arrivee.echec) break;
    attendre(0.05);
  }
  if (!depart.pret || !arrivee.pret) {
    std::fprintf(stderr, "les moniteurs de « %s » et « %s » ne livrent rien\n", depart.nom.c_str(),
                 arrivee.nom.c_str());
    goto fin;
  }
  lecture.finTrames = static_cast<std::int64_t>(secondes * frequence);
  lecture.flux = pa_stream_new(contexte, "signal de mesure", &format, nullptr);
  if (lecture.flux == nullptr) goto fin;
  pa_stream_set_write_callback(lecture.flux, surEcriture, &lecture);
  {
    const auto a = attributs(20);
    if (pa_stream_connect_playback(
            lecture.flux, depart.nom.c_str(), &a,
            static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE), nullptr,
            nullptr) < 0) {
      std::fprintf(stderr, "lecture impossible sur « %s »\n", depart.nom.c_str());
      goto fin;
    }
  }
  for (int s = 1; s <= static_cast<int>(std::ceil(secondes)) + 1; ++s) {
    attendre(1);
    const auto r = apparier(depart, arrivee);
    if (r.empty()) {
      std::printf("%2d s : %zu clics partis, aucun arrivé\n", s, depart.clics.size());
    } else {
      std::printf("%2d s : %zu clics partis, %zu arrivés, dernier %.1f ms\n", s,
                  depart.clics.size(), r.size(), r.back());
    }
    std::fflush(stdout);
  }
  {
    const auto r = apparier(depart, arrivee);
    const double mediane = centile(r, 50);
    const double p99 = centile(r, 99);
    // Les 10 dernières secondes : la même fenêtre que la latence vue par le récepteur.
    const std::vector<double> fin(
        r.end() - static_cast<std::ptrdiff_t>(std::min<std::size_t>(r.size(), 20)), r.end());
    const bool recu = !depart.clics.empty() && r.size() * 2 >= depart.clics.size();
    const auto ton = arrivee.ton.bilan(arrivee.clics);
    std::printf("clics : %zu partis, %zu arrivés ; médiane %.1f ms, p99 %.1f ms\n",
                depart.clics.size(), r.size(), mediane, p99);
    std::printf("ton à l'arrivée : %d trous (%.1f ms), %d discontinuités\n", ton.trous, ton.trousMs,
                ton.discontinuites);
    if (json) {
      std::ofstream f(*json);
      f << "{\"partis\": " << depart.clics.size() << ", \"arrives\": " << r.size()
        << ", \"medianeMs\": " << (r.empty() ? 0.0 : mediane)
        << ", \"p99Ms\": " << (r.empty() ? 0.0 : p99) << ", \"recu\": " << (recu ? "true" : "false")
        << ", \"finMs\": " << (r.empty() ? 0.0 : centile(fin, 50))
        << ", \"trousSon\": " << ton.trous << ", \"trousSonMs\": " << ton.trousMs
        << ", \"discontinuites\": " << ton.discontinuites << ", \"retards\": [";
      for (std::size_t i = 0; i < r.size(); ++i) f << (i == 0 ? "" : ", ") << r[i];
      f << "]}\n";
    }
    statut = recu ? 0 : 1;
  }
fin:
  for (pa_stream* s : {depart.flux, arrivee.flux, lecture.flux}) {
    if (s == nullptr) continue;
    pa_stream_disconnect(s);
    pa_stream_unref(s);
  }
  pa_context_disconnect(contexte);
  pa_context_unref(contexte);
  pa_threaded_mainloop_unlock(boucle);
  pa_threaded_mainloop_stop(boucle);
  pa_threaded_mainloop_free(boucle);
  return statut;
}
