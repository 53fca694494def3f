#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
    for (int c = 0; (c = std::fgetc(f)) != EOF;) sortie += static_cast<char>(c);
    ::pclose(f);
  }
  return sortie;
}

/// Première ligne d'une commande du shell, sans sa fin.
inline std::string ligne(const std::string& commandeShell) {
  const std::string s = commande(commandeShell);
  return s.substr(0, s.find('\n'));
}

inline std::string puitsParDefaut() {
  return ligne("pactl get-default-sink");
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
    if (pid_ > 0) ::kill(pid_, signal);
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

/// Niveau RMS (pleine échelle 32 768) d'échantillons 16 bits.
inline double rms(const std::int16_t* s, std::size_t n) {
  double somme = 0;
  for (std::size_t i = 0; i < n; ++i) somme += std::pow(s[i] / 32768.0, 2);
  return n == 0 ? 0 : std::sqrt(somme / static_cast<double>(n));
}

}  // namespace ravlo::essai
