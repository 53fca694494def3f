#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/plateforme/horloge.hpp"
#include "link/plateforme/pulseaudio/contexte_pulse.hpp"
#include "link/plateforme/pulseaudio/flux_capture_pulse.hpp"

extern char** environ;

namespace ravlo::essai {

/// Vrai quand les scripts ont lancé un démon d'essai et l'ont désigné : jamais un autre.
inline bool demonDEssai() {
  return std::getenv("PULSE_SERVER") != nullptr && std::getenv("RAVLO_PULSE_ESSAI") != nullptr;
}

/// Sortie d'une commande du shell.
inline std::string commande(const std::string& ligne) {
  std::string sortie;
  if (FILE* f = ::popen(ligne.c_str(), "r")) {
    char morceau[4096];
    std::size_t n = 0;
    while ((n = std::fread(morceau, 1, sizeof morceau, f)) > 0) sortie.append(morceau, n);
    ::pclose(f);
  }
  return sortie;
}

inline std::vector<std::string> lignes(const std::string& texte) {
  std::vector<std::string> l;
  std::istringstream flux(texte);
  for (std::string ligne; std::getline(flux, ligne);) l.push_back(ligne);
  return l;
}

/// Colonne `n` (à partir de 0) de chaque ligne d'une sortie « pactl list short ».
inline std::vector<std::string> colonne(const std::string& texte, std::size_t n) {
  std::vector<std::string> valeurs;
  for (const std::string& ligne : lignes(texte)) {
    std::istringstream champs(ligne);
    std::string champ;
    for (std::size_t i = 0; i <= n && champs >> champ; ++i) {
      if (i == n) valeurs.push_back(champ);
    }
  }
  return valeurs;
}

/// Vrai quand le serveur de son est PipeWire (par pipewire-pulse).
inline bool sousPipeWire() {
  return commande("pactl info").find("PipeWire") != std::string::npos;
}

/// Coupe sans erreur ce qu'écoute le moniteur de `puits`. PulseAudio suspend la sortie ;
/// PipeWire ne suspend pas une sortie écoutée (la commande réussit, la sortie reste active),
/// on y défait les liens du moniteur, que WirePlumber ne refait pas.
inline void couperMoniteur(const std::string& puits) {
  if (!sousPipeWire()) {
    commande("pactl suspend-sink " + puits + " 1");
    return;
  }
  commande(
      "pw-link -l | awk '/^[^ ]/ { o = $0 } /\\|->/ { sub(/^ *\\|-> /, \"\"); "
      "if (index(o, \"" +
      puits +
      ":monitor_\") == 1) print o \"\\t\" $0 }' | "
      "while IFS=\"$(printf '\\t')\" read -r o i; do pw-link -d \"$o\" \"$i\"; done");
}

inline void reprendreMoniteur(const std::string& puits) {
  if (!sousPipeWire()) commande("pactl suspend-sink " + puits + " 0");
}

inline std::string puitsParDefaut() {
  std::string s = commande("pactl get-default-sink");
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

/// Noms des sorties nulles « Ravlo Link » présentes.
inline std::vector<std::string> sortiesRavlo() {
  std::vector<std::string> r;
  for (const std::string& nom : colonne(commande("pactl list short sinks"), 1)) {
    if (nom.starts_with("ravlo_link-")) r.push_back(nom);
  }
  return r;
}

/// Nom de la sortie où joue le flux de lecture `entree` (vide s'il n'existe plus).
inline std::string sortieDe(const std::string& entree) {
  const auto sinks = lignes(commande("pactl list short sinks"));
  for (const std::string& ligne : lignes(commande("pactl list short sink-inputs"))) {
    std::istringstream champs(ligne);
    std::string index, puits;
    champs >> index >> puits;
    if (index != entree) continue;
    for (const std::string& s : sinks) {
      std::istringstream c(s);
      std::string i, nom;
      c >> i >> nom;
      if (i == puits) return nom;
    }
  }
  return {};
}

/// Un processus lancé par le test, tué (par son PID) à la destruction s'il vit encore.
class Processus {
 public:
  explicit Processus(const std::vector<std::string>& arguments, bool lireSortie = false) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int tube[2] = {-1, -1};
    if (lireSortie && ::pipe(tube) == 0) {
      posix_spawn_file_actions_adddup2(&actions, tube[1], STDOUT_FILENO);
      posix_spawn_file_actions_addclose(&actions, tube[0]);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (tube[1] >= 0) ::close(tube[1]);
    sortie_ = tube[0];
  }
  ~Processus() {
    tuer(SIGTERM);
    if (sortie_ >= 0) ::close(sortie_);
  }
  Processus(const Processus&) = delete;
  Processus& operator=(const Processus&) = delete;

  [[nodiscard]] bool lance() const { return pid_ > 0; }

  /// Une ligne de sa sortie standard (bloquant) ; vide à la fin.
  std::string ligne() {
    std::string l;
    char c = 0;
    while (sortie_ >= 0 && ::read(sortie_, &c, 1) == 1 && c != '\n') l += c;
    return l;
  }

  void tuer(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    attendre();
  }

  /// Code de sortie (ou −signal).
  int attendre() {
    if (pid_ <= 0) return statut_;
    int s = 0;
    while (::waitpid(pid_, &s, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    statut_ = WIFEXITED(s) ? WEXITSTATUS(s) : -WTERMSIG(s);
    return statut_;
  }

 private:
  pid_t pid_ = -1;
  int sortie_ = -1;
  int statut_ = -1;
};

/// Un fichier PCM brut s16le 48 000 Hz stéréo : un sinus de `frequence` Hz d'amplitude
/// `amplitude` (pleine échelle 1) pendant `secondes`.
inline std::string ecrireTon(const std::string& chemin, double frequence, double secondes,
                             double amplitude) {
  std::ofstream f(chemin, std::ios::binary);
  const auto trames = static_cast<std::size_t>(secondes * 48'000);
  for (std::size_t i = 0; i < trames; ++i) {
    const double x = amplitude * std::sin(2 * std::numbers::pi * frequence * i / 48'000.0);
    const auto s = static_cast<std::int16_t>(std::lround(x * 32767));
    f.write(reinterpret_cast<const char*>(&s), 2);
    f.write(reinterpret_cast<const char*>(&s), 2);
  }
  return chemin;
}

/// Joue un fichier du ton avec pacat, sur la sortie par défaut ou sur `sortie`.
inline std::unique_ptr<Processus> jouer(const std::string& fichier, int latenceMs,
                                        const std::string& sortie = {}) {
  std::vector<std::string> a{"pacat",
                             "--playback",
                             "--raw",
                             "--format=s16le",
                             "--rate=48000",
                             "--channels=2",
                             "--latency-msec=" + std::to_string(latenceMs)};
  if (!sortie.empty()) a.push_back("--device=" + sortie);
  a.push_back(fichier);
  return std::make_unique<Processus>(a);
}

/// Attend qu'un nouveau flux de lecture apparaisse (hors `connus`) ; rend son index.
inline std::string nouvelleEntree(const std::vector<std::string>& connus) {
  for (int essai = 0; essai < 200; ++essai) {
    for (const std::string& i : colonne(commande("pactl list short sink-inputs"), 0)) {
      if (std::find(connus.begin(), connus.end(), i) == connus.end()) return i;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return {};
}

/// Niveau RMS (pleine échelle 32 768) d'échantillons 16 bits.
inline double rms(const std::int16_t* s, std::size_t n) {
  double somme = 0;
  for (std::size_t i = 0; i < n; ++i) somme += std::pow(s[i] / 32768.0, 2);
  return n == 0 ? 0 : std::sqrt(somme / static_cast<double>(n));
}

/// Niveau d'un bloc à un instant de l'hôte.
struct Mesure {
  InstantNs heure = 0;
  double rms = 0;
};

/// Enregistre une source (un moniteur) sur le fil de sa propre boucle, par blocs datés de
/// l'heure de l'hôte à leur arrivée. Le flux ne suit jamais une autre source (sinon, quand la
/// sortie par défaut change, il suivrait le moniteur de la nouvelle).
class Enregistreur {
 public:
  explicit Enregistreur(const std::string& source) : contexte_("essai") {
    VerrouBoucle verrou(contexte_);
    if (contexte_.relier() != 0) return;
    auto flux = FluxCapturePulse::creer(contexte_, "enregistreur");
    if (flux.statut != 0 || flux.valeur->connecter(source) != 0) return;
    flux_ = std::move(flux.valeur);
    // Fenêtres de 10 ms : les morceaux livrés ont des tailles quelconques.
    rappel_ = [this](std::span<const TamponBloc> t, const HorodatageBloc&) {
      if (t.empty() || t[0].donnees == nullptr) return;
      const auto* f = static_cast<const float*>(t[0].donnees);
      for (std::size_t i = 0; i < t[0].octets / sizeof(float); ++i) {
        somme_ += static_cast<double>(f[i]) * f[i];
        if (++nombre_ < 960) continue;
        std::lock_guard garde(verrou_);
        mesures_.push_back({hoteNs(), std::sqrt(somme_ / nombre_)});
        somme_ = 0;
        nombre_ = 0;
      }
    };
    flux_->installer(&rappel_);
    if (flux_->reprendre() != 0) flux_.reset();
  }
  ~Enregistreur() { arreter(); }

  [[nodiscard]] bool pret() const { return flux_ != nullptr; }

  /// Attend le premier bloc (jusqu'à 4 s : le moniteur d'une sortie au repos tarde).
  bool attendreDonnees() const {
    for (int i = 0; i < 400; ++i) {
      {
        std::lock_guard garde(verrou_);
        if (!mesures_.empty()) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  void arreter() {
    VerrouBoucle verrou(contexte_);
    flux_.reset();
  }

  [[nodiscard]] std::vector<Mesure> mesures() const {
    std::lock_guard garde(verrou_);
    return mesures_;
  }

 private:
  ContextePulse contexte_;
  std::unique_ptr<FluxCapturePulse> flux_;
  RappelES rappel_;
  double somme_ = 0;
  int nombre_ = 0;
  mutable std::mutex verrou_;
  std::vector<Mesure> mesures_;
};

/// Mesures dont l'heure tombe dans [debut, fin].
inline std::vector<Mesure> entre(const std::vector<Mesure>& m, InstantNs debut, InstantNs fin) {
  std::vector<Mesure> r;
  for (const Mesure& x : m) {
    if (x.heure >= debut && x.heure <= fin) r.push_back(x);
  }
  return r;
}

}  // namespace ravlo::essai
