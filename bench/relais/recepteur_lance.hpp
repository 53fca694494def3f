// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace ravlo::boucle {

/// Le vrai ravlo-recepteur lancé pour un essai ou une mesure, sans annonce (`options` : les
/// siennes, dont --wav ou --sortie ; `programme` : un autre binaire à mesurer). Port et code
/// lus sur sa sortie ; SIGTERM à la destruction, si bien que la fin part vers l'émetteur
/// appairé.
class RecepteurLance {
 public:
  explicit RecepteurLance(std::vector<std::string> options,
                          std::string programme = RAVLO_RECEPTEUR) {
    options.insert(options.begin(), {std::move(programme), "--sans-annonce"});
    int tube[2] = {-1, -1};
    // O_CLOEXEC : un autre programme lancé en même temps ne garde pas ce tube ouvert.
    if (::pipe2(tube, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, tube[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (auto& a : options) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(tube[1]);
    sortie_ = tube[0];
    port = static_cast<std::uint16_t>(std::atoi(lire("Port : ").c_str()));
    code = lire("Code : ");
  }
  ~RecepteurLance() {
    arreter();
    if (sortie_ >= 0) ::close(sortie_);
  }
  RecepteurLance(const RecepteurLance&) = delete;
  RecepteurLance& operator=(const RecepteurLance&) = delete;

  /// La suite de la prochaine ligne qui commence par `debut` ; vide à la fin de sa sortie
  /// ou passé `delai`.
  std::string lire(const std::string& debut,
                   std::chrono::milliseconds delai = std::chrono::seconds(10)) {
    const auto echeance = std::chrono::steady_clock::now() + delai;
    std::string ligne;
    for (char c = 0;;) {
      const auto reste = std::chrono::duration_cast<std::chrono::milliseconds>(
          echeance - std::chrono::steady_clock::now());
      pollfd p{sortie_, POLLIN, 0};
      if (reste.count() <= 0 || ::poll(&p, 1, static_cast<int>(reste.count())) <= 0 ||
          ::read(sortie_, &c, 1) != 1)
        return {};
      if (c != '\n') {
        ligne += c;
      } else if (ligne.starts_with(debut) && ligne.size() > debut.size()) {
        return ligne.substr(debut.size());
      } else {
        ligne.clear();
      }
    }
  }

  /// Les lignes entières déjà écrites, sans attendre (le programme écrit chaque ligne d'un
  /// seul coup).
  std::vector<std::string> lignesPretes() {
    std::vector<std::string> lignes(1);
    pollfd p{sortie_, POLLIN, 0};
    for (char c = 0; ::poll(&p, 1, 0) > 0 && ::read(sortie_, &c, 1) == 1;) {
      if (c == '\n') {
        lignes.emplace_back();
      } else {
        lignes.back() += c;
      }
    }
    lignes.pop_back();
    return lignes;
  }

  /// Attend une ligne d'état (une par seconde) qui compte au moins `n` paquets reçus.
  bool attendrePaquets(long n, std::chrono::milliseconds delai = std::chrono::seconds(10)) {
    const auto echeance = std::chrono::steady_clock::now() + delai;
    for (std::string l = lire("", delai); !l.empty(); l = lire("", delai)) {
      const auto i = l.find("  paquets ");
      if (i != std::string::npos && std::atol(l.c_str() + i + 10) >= n) return true;
      if (std::chrono::steady_clock::now() > echeance) break;
    }
    return false;
  }

  /// Envoie `signal` sans attendre (SIGSTOP, SIGCONT, SIGKILL…).
  void signaler(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  /// Envoie `signal` et rend le statut de sortie (−signal s'il l'a tué). Un récepteur arrêté
  /// par SIGSTOP repart pour le recevoir.
  int arreter(int signal = SIGTERM) {
    if (pid_ <= 0) return statut_;
    ::kill(pid_, signal);
    ::kill(pid_, SIGCONT);
    int s = 0;
    while (::waitpid(pid_, &s, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    statut_ = WIFEXITED(s) ? WEXITSTATUS(s) : -WTERMSIG(s);
    return statut_;
  }

  std::uint16_t port = 0;
  std::string code;

 private:
  pid_t pid_ = -1;
  int sortie_ = -1;
  int statut_ = -1;
};

}  // namespace ravlo::boucle
