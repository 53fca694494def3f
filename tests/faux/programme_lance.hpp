// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace ravlo::essai {

/// Un programme lancé par un essai ou une mesure (cherché dans PATH), tué par son PID à la
/// destruction. `lu` : ses sorties standard et d'erreur mêlées dans un tube lu ligne à ligne ;
/// sinon la sortie standard est jetée (un démon bavard que personne ne lit ne se bloque pas).
/// `entree` : son entrée standard est un tube qu'`ecrire` remplit.
class ProgrammeLance {
 public:
  explicit ProgrammeLance(std::vector<std::string> arguments, bool lu = false,
                          bool entree = false) {
    int tube[2] = {-1, -1};
    int tubeEntree[2] = {-1, -1};
    // O_CLOEXEC : un autre programme lancé en même temps ne garde pas ce tube ouvert.
    if (lu && ::pipe2(tube, O_CLOEXEC) != 0) return;
    if (entree && ::pipe2(tubeEntree, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (entree) posix_spawn_file_actions_adddup2(&actions, tubeEntree[0], STDIN_FILENO);
    if (lu) {
      posix_spawn_file_actions_adddup2(&actions, tube[1], STDOUT_FILENO);
      posix_spawn_file_actions_adddup2(&actions, tube[1], STDERR_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (lu) ::close(tube[1]);
    sortie_ = tube[0];
    if (entree) ::close(tubeEntree[0]);
    entree_ = tubeEntree[1];
  }
  ~ProgrammeLance() {
    arreter();
    if (sortie_ >= 0) ::close(sortie_);
    if (entree_ >= 0) ::close(entree_);
    if (pendu_) std::abort();
  }
  ProgrammeLance(const ProgrammeLance&) = delete;
  ProgrammeLance& operator=(const ProgrammeLance&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }

  /// Ce qui suit `motif` dans la prochaine ligne qui le contient et va au-delà ; vide à la
  /// fin de la sortie ou passé `delai`. `lire("")` rend la prochaine ligne non vide.
  std::string lire(const std::string& motif,
                   std::chrono::milliseconds delai = std::chrono::seconds(10)) {
    const auto echeance = std::chrono::steady_clock::now() + delai;
    for (std::string l; ligne(l, echeance);)
      if (const auto i = l.find(motif); i != std::string::npos && l.size() > i + motif.size())
        return l.substr(i + motif.size());
    return {};
  }

  /// Les lignes entières déjà écrites, sans attendre.
  std::vector<std::string> lignesPretes() {
    std::vector<std::string> lignes;
    for (std::string l; ligne(l, std::chrono::steady_clock::now());) lignes.push_back(l);
    return lignes;
  }

  /// Attend une ligne d'état (une par seconde) qui compte au moins `n` paquets reçus.
  bool attendrePaquets(long n, std::chrono::milliseconds delai = std::chrono::seconds(10)) {
    const auto echeance = std::chrono::steady_clock::now() + delai;
    for (std::string l = lire("  paquets ", delai); !l.empty(); l = lire("  paquets ", delai)) {
      if (std::atol(l.c_str()) >= n) return true;
      if (std::chrono::steady_clock::now() > echeance) break;
    }
    return false;
  }

  /// Écrit sur son entrée standard ; faux si elle n'est pas un tube ou qu'il l'a fermée.
  bool ecrire(const std::string& texte) {
    return entree_ >= 0 &&
           ::write(entree_, texte.data(), texte.size()) == static_cast<ssize_t>(texte.size());
  }

  /// Envoie `signal` sans attendre (SIGSTOP, SIGCONT, SIGKILL…).
  void signaler(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  /// Vrai tant qu'il tourne ; fini, son statut est retenu pour `arreter`.
  bool enVie() {
    int s = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &s, WNOHANG) == 0) return pid_ > 0;
    pid_ = -1;
    statut_ = WIFEXITED(s) ? WEXITSTATUS(s) : -WTERMSIG(s);
    return false;
  }

  /// Envoie `signal` (0 : aucun) et rend le statut de sortie (−signal s'il l'a tué). Un
  /// programme arrêté par SIGSTOP repart pour le recevoir. Sa sortie est lue pendant
  /// l'attente : un tube plein ne le bloque pas. Un programme qui ne finit pas en
  /// `delaiFin` est pendu : ses fils sont décrits sur la sortie d'erreur, il est tué
  /// (statut −SIGKILL), et un essai qui ne lit pas ce statut échoue à la destruction.
  int arreter(int signal = SIGTERM) {
    if (pid_ <= 0) return statut_;
    if (signal != 0) ::kill(pid_, signal);
    if (signal != 0) ::kill(pid_, SIGCONT);
    const auto echeance = std::chrono::steady_clock::now() + delaiFin;
    int s = 0;
    pid_t fini = 0;
    while ((fini = ::waitpid(pid_, &s, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < echeance) {
      // Gardé pour `lire` : un essai relit les lignes d'un programme fini. Sans tube, `poll`
      // ne fait qu'attendre.
      pollfd p{sortie_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char morceau[512];
      const auto n = ::read(sortie_, morceau, sizeof morceau);
      if (n <= 0) ::close(std::exchange(sortie_, -1));
      if (n > 0) deja_.append(morceau, static_cast<std::size_t>(n));
    }
    if (fini == 0) {
      decrirePendu();
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &s, 0) < 0 && errno == EINTR) {
      }
      pendu_ = true;
    }
    pid_ = -1;
    statut_ = WIFEXITED(s) ? WEXITSTATUS(s) : -WTERMSIG(s);
    return statut_;
  }
  int attendre() { return arreter(0); }

  /// Assez pour un programme sous ASan sur une machine chargée ; bien moins que la minute
  /// de ctest, pour que la description arrive.
  static constexpr std::chrono::seconds delaiFin{60};

  std::string journal;  ///< les lignes lues, pour les messages d'échec

 private:
  // La prochaine ligne entière, retenue au journal ; faux à la fin de la sortie ou passé
  // `echeance`, le début d'une ligne gardé pour la suite.
  bool ligne(std::string& l, std::chrono::steady_clock::time_point echeance) {
    for (char c = 0;;) {
      if (lu_ < deja_.size()) {
        c = deja_[lu_++];
      } else {
        const auto reste = std::chrono::duration_cast<std::chrono::milliseconds>(
            echeance - std::chrono::steady_clock::now());
        pollfd p{sortie_, POLLIN, 0};
        if (sortie_ < 0 ||
            ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(reste.count(), 0))) <= 0 ||
            ::read(sortie_, &c, 1) != 1)
          return false;
      }
      if (c != '\n') {
        partielle_ += c;
        continue;
      }
      l = std::exchange(partielle_, {});
      journal += l + '\n';
      return true;
    }
  }

  // Où chaque fil attend : la pile de gdb s'il est là, sinon l'appel système en cours.
  void decrirePendu() const {
    const std::string fin = journal + partielle_ + deja_.substr(lu_);
    std::fprintf(stderr, "\n*** %d ne finit pas ; ses dernières lignes :\n%s\n", pid_,
                 fin.substr(fin.size() > 4000 ? fin.size() - 4000 : 0).c_str());
    const std::string p = std::to_string(pid_);
    const std::string ligne =
        "if command -v gdb >/dev/null; then gdb -batch -nx -p " + p +
        " -ex 'thread apply all bt' 2>&1 | grep -v '^\\[New'; else for t in /proc/" + p +
        "/task/*; do echo \"$t $(cat $t/comm) $(cat $t/wchan) $(cut -d' ' -f1 $t/syscall)\"; "
        "done; fi >&2";
    (void)std::system(ligne.c_str());  // NOLINT(concurrency-mt-unsafe, cert-env33-c)
  }

  pid_t pid_ = -1;
  int sortie_ = -1;
  int entree_ = -1;
  int statut_ = -1;
  bool pendu_ = false;
  std::string deja_;       // tiré du tube pendant l'attente de la fin
  std::size_t lu_ = 0;     // ce que `lire` en a déjà rendu
  std::string partielle_;  // le début d'une ligne pas encore finie
};

#ifdef RAVLO_RECEPTEUR
/// Sans `--etat` parmi les options d'un récepteur, l'y ajoute : un dossier d'état à lui, effacé
/// à la destruction ; un essai n'écrit rien dans celui de l'utilisateur.
struct DossierEtat {
  explicit DossierEtat(std::vector<std::string>& options) {
    if (std::ranges::find(options, "--etat") != options.end()) return;
    static std::atomic<int> numero = 0;
    dossier = std::filesystem::temp_directory_path() /
              ("ravlo-etat-" + std::to_string(::getpid()) + "-" + std::to_string(++numero));
    options.insert(options.end(), {"--etat", dossier.string()});
  }
  ~DossierEtat() {
    std::error_code ec;
    if (!dossier.empty()) std::filesystem::remove_all(dossier, ec);
  }
  DossierEtat(const DossierEtat&) = delete;
  DossierEtat& operator=(const DossierEtat&) = delete;
  std::filesystem::path dossier;
};

/// Le vrai ravlo-recepteur lancé, sans annonce (`options` : les siennes, dont --wav ou
/// --sortie ; `programme` : un autre binaire à mesurer). Port et code lus sur sa sortie ;
/// SIGTERM à la destruction, si bien que la fin part vers l'émetteur appairé.
struct RecepteurLance : private DossierEtat, ProgrammeLance {
  // Les bases se construisent dans l'ordre : `options` a son dossier d'état avant le lancement.
  explicit RecepteurLance(std::vector<std::string> options, std::string programme = RAVLO_RECEPTEUR)
      : DossierEtat(options),
        ProgrammeLance(avec(std::move(options), std::move(programme)), true),
        port(static_cast<std::uint16_t>(std::atoi(lire("Port : ").c_str()))),
        code(lire("Code : ")) {}
  [[nodiscard]] std::string vers() const { return "127.0.0.1:" + std::to_string(port); }

  std::uint16_t port = 0;
  std::string code;

 private:
  static std::vector<std::string> avec(std::vector<std::string> o, std::string programme) {
    o.insert(o.begin(), {std::move(programme), "--sans-annonce", "--port", "0", "--ligne-etat"});
    return o;
  }
};
#endif

/// Une ligne du shell : ce qu'elle écrit et son statut.
struct Sortie {
  std::string texte;
  int statut = -1;
};
inline Sortie ligneDuShell(const std::string& ligne) {
  Sortie s;
  if (FILE* f = ::popen(ligne.c_str(), "r")) {
    char morceau[1024];
    for (std::size_t n = 0; (n = std::fread(morceau, 1, sizeof morceau, f)) > 0;)
      s.texte.append(morceau, n);
    const int statut = ::pclose(f);
    s.statut = WIFEXITED(statut) ? WEXITSTATUS(statut) : -1;
  }
  return s;
}
/// Sortie d'erreur comprise.
inline Sortie executer(const std::string& ligne) {
  return ligneDuShell(ligne + " 2>&1");
}

}  // namespace ravlo::essai
