// SPDX-License-Identifier: MPL-2.0
// Latence « bout à bout » : le temps entre le son que l'ordinateur joue et celui que le
// récepteur rend, mesuré sur un seul démon PulseAudio qui porte les deux sorties.
//
//   mesure_bout_a_bout [--depart SORTIE] [--arrivee SORTIE]... [--secondes S] [--fenetre MS]
//                      [--json FICHIER]
//
// Joue dans --depart (défaut « ordinateur ») un ton discret à −34 dBFS ponctué d'un clic
// toutes les 0,5 s, enregistre les moniteurs des sorties, repère chaque clic au départ et à
// l'arrivée (bench/clics.hpp, à la fraction d'échantillon près) et imprime une ligne par
// seconde, puis le résumé (médiane, p99). Le signal lui-même compte ses sous-alimentations
// (« sousAlimentationsSignal ») : quand il manque en même temps que les récepteurs, c'est le
// serveur ou la machine qui a calé.
//
// Plusieurs --arrivee (des pièces qui jouent ensemble) : en plus, clic par clic, l'écart de
// chaque pièce à la première (arrivée k − arrivée 1), sa médiane, le p99 et le maximum de sa
// valeur absolue, et dans le JSON « arrivees » (une entrée par pièce), « ecartPieces » et
// « ecarts » (pièce 2 − pièce 1), les clés d'une seule arrivée restant celles de la première.
//
// Tous les moniteurs sont datés de la même façon sur la même horloge (CLOCK_MONOTONIC moins
// la latence que PulseAudio annonce pour la trame la plus ancienne non lue, relevée toutes
// les 50 ms). Chaque bloc lu donne un candidat « heure du bloc − position/48 kHz » ; un clic
// est daté par la droite des moindres carrés des candidats pris à moins d'une seconde de
// lui. Une droite, et non une constante : une sortie nulle tourne 200 à 450 ppm trop vite
// (chaque bloc rendu y perd la fraction de µs de sa durée), pas de la même façon d'une
// sortie à l'autre, et une ancre fixe s'en écartait de 0,3 ms par seconde. Les candidats
// d'avant le début du signal plus une seconde n'en sont pas : les premiers blocs d'un flux
// sortent jusqu'à 1,5 ms trop tôt, et de 350 ms quand la sortie de départ change de latence
// à l'arrivée du signal. Sous PulseAudio, deux flux du même moniteur s'accordent à 0,04 ms
// près.
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
#include "bench/clics.hpp"

namespace {

using ravlo::mesure::AnalyseTon;
using ravlo::mesure::centile;
using ravlo::mesure::EcartPieces;
using ravlo::mesure::ReperageClics;

constexpr auto frequence = static_cast<double>(ravlo::flux::tramesParSeconde);
constexpr std::size_t arriveesMax = 8;
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
  // Avant stableDesNs : seulement pour une mesure trop courte pour en avoir un autre.
  std::int64_t ancrageDebutNs = std::numeric_limits<std::int64_t>::max();
  ReperageClics clics;
  AnalyseTon ton;
  bool pret = false;
  bool echec = false;
  std::int64_t demandeNs = 0;
  struct Candidat {
    std::int64_t heureNs;
    double ancrageNs;
  };
  std::vector<Candidat> candidats;  ///< après la stabilisation

  // Sur CLOCK_MONOTONIC, en ms.
  [[nodiscard]] double heureMs(double position) const {
    const auto a =
        ancrageNs != std::numeric_limits<std::int64_t>::max() ? ancrageNs : ancrageDebutNs;
    const double ecartNs = position * 1e9 / frequence;
    const double vers = static_cast<double>(a) + ecartNs;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    int n = 0;
    for (const auto& c : candidats) {
      const double x = (static_cast<double>(c.heureNs) - vers) / 1e9;
      if (x < -1.0 || x > 1.0) continue;
      sx += x;
      // Relatif à l'ancrage fixe : des sommes d'heures absolues perdraient les ns.
      const double y = c.ancrageNs - static_cast<double>(a);
      sy += y;
      sxx += x * x;
      sxy += x * y;
      ++n;
    }
    const double det = n * sxx - sx * sx;
    if (n < 8 || det <= 0) return vers / 1e6;
    const double pente = (n * sxy - sx * sy) / det;
    return (static_cast<double>(a) + (sy - pente * sx) / n + ecartNs) / 1e6;
  }

  [[nodiscard]] std::vector<double> heuresClics() const {
    std::vector<double> v;
    v.reserve(clics.positions.size());
    for (const double p : clics.positions) v.push_back(heureMs(p));
    return v;
  }
};

struct Lecture {
  pa_stream* flux = nullptr;
  std::int64_t trames = 0;
  std::int64_t finTrames = 0;
  bool echec = false;
  /// Le signal lui-même a manqué : le serveur ou la machine a calé, pas les récepteurs.
  std::int64_t sousAlimentations = 0;
};

pa_threaded_mainloop* boucle = nullptr;
pa_context* contexte = nullptr;
// Écrit sous le verrou de la boucle, lu par ses rappels.
std::int64_t stableDesNs = std::numeric_limits<std::int64_t>::max();
// Une sortie qui perd son lecteur en cours de mesure (un récepteur tué) change de latence,
// et son moniteur annonce la sienne de travers : 2 à 3 ms d'ancrage trop tôt, sur tout le
// flux. Les 3 s d'après la stabilisation suffisent à l'ancrage.
constexpr std::int64_t dureeAncrageNs = 3'000'000'000;

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
  if (const std::int64_t t = monotoneNs(); t - e.demandeNs >= 50'000'000) {
    e.demandeNs = t;
    if (pa_operation* o = pa_stream_update_timing_info(s, nullptr, nullptr)) pa_operation_unref(o);
  }
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
      auto& retenu = maintenant < stableDesNs ? e.ancrageDebutNs : e.ancrageNs;
      if (maintenant < stableDesNs + dureeAncrageNs) retenu = std::min(retenu, ancrage);
      if (maintenant >= stableDesNs) {
        e.candidats.push_back({maintenant, static_cast<double>(ancrage)});
      }
    }
    const auto n = static_cast<std::int64_t>(octets / (2 * sizeof(float)));
    if (donnees != nullptr) {
      const auto* f = static_cast<const float*>(donnees);
      for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t position = e.trames + i;
        e.clics.echantillon(position, f[2 * i]);
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

// Au-delà de la période des clics (500 ms), l'appariement serait ambigu.
double fenetreMs = 400;

std::vector<std::optional<double>> apparier(const Enregistrement& depart,
                                            const Enregistrement& arrivee) {
  return ravlo::mesure::apparier(depart.heuresClics(), arrivee.heuresClics(), fenetreMs);
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
               "usage : mesure_bout_a_bout [--depart SORTIE] [--arrivee SORTIE]... [--secondes S] "
               "[--fenetre MS] [--json FICHIER]\n");
  return 2;
}

// Ce qu'une arrivée a reçu, clic par clic.
struct BilanArrivee {
  std::vector<std::optional<double>> parClic;
  std::vector<double> retards;
  double mediane = NAN;
  double p99 = NAN;
  double fin = NAN;
  bool recu = false;
  AnalyseTon::Bilan ton;
};

BilanArrivee bilan(const Enregistrement& depart, const Enregistrement& arrivee) {
  BilanArrivee b;
  b.parClic = apparier(depart, arrivee);
  b.retards = ravlo::mesure::presents(b.parClic);
  b.mediane = centile(b.retards, 50);
  b.p99 = centile(b.retards, 99);
  // Les 10 dernières secondes : la même fenêtre que la latence vue par le récepteur.
  const auto& r = b.retards;
  b.fin = centile(
      {r.end() - static_cast<std::ptrdiff_t>(std::min<std::size_t>(r.size(), 20)), r.end()}, 50);
  b.recu = !depart.clics.positions.empty() && r.size() * 2 >= depart.clics.positions.size();
  b.ton = arrivee.ton.bilan(arrivee.clics.entiers());
  return b;
}

// JSON n'a pas de NaN : une valeur absente s'y écrit null.
std::string nombre(double v, const char* modele = "%g") {
  if (std::isnan(v)) return "null";
  char texte[48];
  std::snprintf(texte, sizeof texte, modele, v);
  return texte;
}

void ecrireListe(std::ostream& f, const std::vector<double>& v, const char* modele = "%g") {
  f << "[";
  for (std::size_t i = 0; i < v.size(); ++i) f << (i == 0 ? "" : ", ") << nombre(v[i], modele);
  f << "]";
}

void ecrireEcart(std::ostream& f, const EcartPieces& e) {
  f << "{\"clics\": " << e.valeurs.size() << ", \"medianeMs\": " << nombre(e.medianeMs)
    << ", \"p99AbsMs\": " << nombre(e.p99AbsMs) << ", \"maxAbsMs\": " << nombre(e.maxAbsMs) << "}";
}

// Une entrée de « arrivees » ; les heures des trous et discontinuités sont sur CLOCK_MONOTONIC
// (ms), pour dire ce qui suit un événement daté ailleurs (l'arrêt d'un récepteur).
void ecrireArrivee(std::ostream& f, const Enregistrement& e, const BilanArrivee& b,
                   const std::optional<EcartPieces>& ecart) {
  const auto heures = [&](const std::vector<std::int64_t>& positions) {
    std::vector<double> v;
    v.reserve(positions.size());
    for (const auto p : positions) v.push_back(e.heureMs(static_cast<double>(p)));
    return v;
  };
  const auto heuresTrous = heures(b.ton.debutsTrous);
  const auto heuresDiscontinuites = heures(b.ton.positionsDiscontinuites);
  f << "{\"nom\": \"" << e.nom << "\", \"arrives\": " << b.retards.size()
    << ", \"medianeMs\": " << nombre(b.mediane) << ", \"p99Ms\": " << nombre(b.p99)
    << ", \"recu\": " << (b.recu ? "true" : "false") << ", \"finMs\": " << nombre(b.fin)
    << ", \"trousSon\": " << b.ton.trous << ", \"trousSonMs\": " << b.ton.trousMs
    << ", \"discontinuites\": " << b.ton.discontinuites << ", \"heuresTrousMs\": ";
  ecrireListe(f, heuresTrous, "%.3f");
  f << ", \"heuresDiscontinuitesMs\": ";
  ecrireListe(f, heuresDiscontinuites, "%.3f");
  if (ecart) {
    f << ", \"ecartPieces\": ";
    ecrireEcart(f, *ecart);
  }
  f << ", \"retards\": ";
  ecrireListe(f, b.retards);
  f << "}";
}

std::string retardTexte(const std::optional<double>& r) {
  return r ? nombre(*r, "%.3f ms") : std::string("—");
}

}  // namespace

int main(int argc, char** argv) {
  Enregistrement depart;
  depart.nom = "ordinateur";
  std::vector<std::string> nomsArrivees;
  double secondes = 10;
  std::optional<std::string> json;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (i + 1 >= argc) return usage();
    if (a == "--depart") {
      depart.nom = argv[++i];
    } else if (a == "--arrivee") {
      if (nomsArrivees.size() == arriveesMax) return usage();
      nomsArrivees.emplace_back(argv[++i]);
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
  if (nomsArrivees.empty()) nomsArrivees.emplace_back("recepteur");
  // Taille fixée avant tout rappel : PulseAudio garde l'adresse de chaque enregistrement.
  std::vector<Enregistrement> arrivees(nomsArrivees.size());
  for (std::size_t k = 0; k < arrivees.size(); ++k) arrivees[k].nom = nomsArrivees[k];
  const bool plusieurs = arrivees.size() > 1;
  const auto toutes = [&](auto predicat) {
    return std::all_of(arrivees.begin(), arrivees.end(), predicat);
  };

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
  // Sous le même verrou, dans la même boucle : les arrivées sont enregistrées ensemble et
  // ancrées par le même chemin.
  if (!enregistrer(depart) || !toutes([](Enregistrement& e) { return enregistrer(e); })) {
    std::fprintf(stderr, "enregistrement impossible\n");
    goto fin;
  }
  // Le moniteur d'une sortie nulle au repos ne livre qu'au bout d'une à deux secondes.
  for (int essai = 0; essai < 100; ++essai) {
    if (depart.pret && toutes([](const Enregistrement& e) { return e.pret; })) break;
    if (depart.echec || !toutes([](const Enregistrement& e) { return !e.echec; })) break;
    attendre(0.05);
  }
  if (!depart.pret || !toutes([](const Enregistrement& e) { return e.pret; })) {
    std::string noms = "« " + depart.nom + " »";
    for (std::size_t k = 0; k < arrivees.size(); ++k)
      noms += (k + 1 == arrivees.size() ? " et « " : ", « ") + arrivees[k].nom + " »";
    std::fprintf(stderr, "les moniteurs de %s ne livrent rien\n", noms.c_str());
    goto fin;
  }
  lecture.finTrames = static_cast<std::int64_t>(secondes * frequence);
  lecture.flux = pa_stream_new(contexte, "signal de mesure", &format, nullptr);
  if (lecture.flux == nullptr) goto fin;
  pa_stream_set_write_callback(lecture.flux, surEcriture, &lecture);
  pa_stream_set_underflow_callback(
      lecture.flux, [](pa_stream*, void* l) { ++static_cast<Lecture*>(l)->sousAlimentations; },
      &lecture);
  {
    const auto a = attributs(20);
    if (pa_stream_connect_playback(
            lecture.flux, depart.nom.c_str(), &a,
            static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE), nullptr,
            nullptr) < 0) {
      std::fprintf(stderr, "lecture impossible sur « %s »\n", depart.nom.c_str());
      goto fin;
    }
    stableDesNs = monotoneNs() + 1'000'000'000;
  }
  for (int s = 1; s <= static_cast<int>(std::ceil(secondes)) + 1; ++s) {
    attendre(1);
    const auto partis = depart.clics.positions.size();
    if (!plusieurs) {
      const auto r = ravlo::mesure::presents(apparier(depart, arrivees[0]));
      if (r.empty()) {
        std::printf("%2d s : %zu clics partis, aucun arrivé\n", s, partis);
      } else {
        std::printf("%2d s : %zu clics partis, %zu arrivés, dernier %.1f ms\n", s, partis, r.size(),
                    r.back());
      }
    } else {
      std::string ligne;
      for (const auto& e : arrivees) {
        const auto r = ravlo::mesure::presents(apparier(depart, e));
        ligne += " ; « " + e.nom + " » " + std::to_string(r.size()) + " arrivés" +
                 (r.empty() ? "" : ", dernier " + nombre(r.back(), "%.1f ms"));
      }
      const EcartPieces ecart(apparier(depart, arrivees[0]), apparier(depart, arrivees[1]));
      if (!ecart.valeurs.empty())
        ligne += " ; écart dernier " + nombre(ecart.valeurs.back(), "%+.3f ms");
      std::printf("%2d s : %zu clics partis%s\n", s, partis, ligne.c_str());
    }
    std::fflush(stdout);
  }
  {
    std::vector<BilanArrivee> bilans;
    bilans.reserve(arrivees.size());
    for (const auto& e : arrivees) bilans.push_back(bilan(depart, e));
    std::vector<std::optional<EcartPieces>> ecarts(1);
    for (std::size_t k = 1; k < bilans.size(); ++k)
      ecarts.emplace_back(EcartPieces(bilans[0].parClic, bilans[k].parClic));
    const auto partis = depart.clics.positions.size();
    if (plusieurs) {
      for (std::size_t i = 0; i < partis; ++i) {
        std::string ligne;
        for (std::size_t k = 0; k < arrivees.size(); ++k) {
          ligne += (k == 0 ? "" : ", ") + ("« " + arrivees[k].nom + " » ") +
                   retardTexte(bilans[k].parClic[i]);
          if (k > 0) ligne += ", écart " + retardTexte(ecarts[k]->parClic[i]);
        }
        std::printf("clic %2zu : %s\n", i + 1, ligne.c_str());
      }
    }
    for (std::size_t k = 0; k < arrivees.size(); ++k) {
      const auto& b = bilans[k];
      const std::string qui = plusieurs ? "« " + arrivees[k].nom + " » : " : "";
      std::printf("%sclics : %zu partis, %zu arrivés ; médiane %.1f ms, p99 %.1f ms\n", qui.c_str(),
                  partis, b.retards.size(), b.mediane, b.p99);
      std::printf("%ston à l'arrivée : %d coupures (%.1f ms), %d discontinuités\n", qui.c_str(),
                  b.ton.trous, b.ton.trousMs, b.ton.discontinuites);
    }
    std::printf("le signal a manqué %lld fois au serveur (la machine a calé)\n",
                static_cast<long long>(lecture.sousAlimentations));
    for (std::size_t k = 1; k < arrivees.size(); ++k) {
      const auto& e = *ecarts[k];
      std::printf(
          "écart « %s » − « %s » : %zu clics ; médiane %+.3f ms, p99 |écart| %.3f ms, max |écart| "
          "%.3f ms\n",
          arrivees[k].nom.c_str(), arrivees[0].nom.c_str(), e.valeurs.size(), e.medianeMs,
          e.p99AbsMs, e.maxAbsMs);
    }
    if (json) {
      const auto& b = bilans[0];
      const bool vide = b.retards.empty();
      std::ofstream f(*json);
      f << "{\"partis\": " << partis << ", \"arrives\": " << b.retards.size()
        << ", \"medianeMs\": " << (vide ? 0.0 : b.mediane)
        << ", \"p99Ms\": " << (vide ? 0.0 : b.p99) << ", \"recu\": " << (b.recu ? "true" : "false")
        << ", \"finMs\": " << (vide ? 0.0 : b.fin) << ", \"trousSon\": " << b.ton.trous
        << ", \"trousSonMs\": " << b.ton.trousMs << ", \"discontinuites\": " << b.ton.discontinuites
        << ", \"sousAlimentationsSignal\": " << lecture.sousAlimentations << ", \"retards\": [";
      for (std::size_t i = 0; i < b.retards.size(); ++i) f << (i == 0 ? "" : ", ") << b.retards[i];
      f << "]";
      if (plusieurs) {
        f << ", \"arrivees\": [";
        for (std::size_t k = 0; k < arrivees.size(); ++k) {
          f << (k == 0 ? "" : ", ");
          ecrireArrivee(f, arrivees[k], bilans[k], ecarts[k]);
        }
        f << "], \"ecartPieces\": ";
        ecrireEcart(f, *ecarts[1]);
        f << ", \"ecarts\": ";
        ecrireListe(f, ecarts[1]->valeurs);
      }
      f << "}\n";
    }
    statut =
        std::all_of(bilans.begin(), bilans.end(), [](const auto& b) { return b.recu; }) ? 0 : 1;
  }
fin:
  for (auto& e : arrivees) {
    if (e.flux == nullptr) continue;
    pa_stream_disconnect(e.flux);
    pa_stream_unref(e.flux);
  }
  for (pa_stream* s : {depart.flux, lecture.flux}) {
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
