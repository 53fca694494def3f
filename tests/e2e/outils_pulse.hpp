// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
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

/// Un processus lancé par le test (sortie standard jetée), tué par son PID à la destruction.
class Processus {
 public:
  explicit Processus(const std::vector<std::string>& arguments) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Processus() { tuer(SIGTERM); }
  Processus(const Processus&) = delete;
  Processus& operator=(const Processus&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }

  int tuer(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
    return attendre();
  }

  /// Code de sortie (ou −signal).
  int attendre() {
    int s = 0;
    if (pid_ > 0 && ::waitpid(pid_, &s, 0) == pid_)
      statut_ = WIFEXITED(s) ? WEXITSTATUS(s) : -WTERMSIG(s);
    pid_ = -1;
    return statut_;
  }

 private:
  pid_t pid_ = -1;
  int statut_ = -1;
};

/// Niveau RMS (pleine échelle 32 768) d'échantillons 16 bits.
inline double rms(const std::int16_t* s, std::size_t n) {
  double somme = 0;
  for (std::size_t i = 0; i < n; ++i) somme += std::pow(s[i] / 32768.0, 2);
  return n == 0 ? 0 : std::sqrt(somme / static_cast<double>(n));
}

/// Échantillons 16 bits d'un fichier brut, après `entete` octets.
inline std::vector<std::int16_t> echantillons(const std::string& chemin, std::size_t entete = 0) {
  std::vector<std::int16_t> e;
  if (FILE* f = std::fopen(chemin.c_str(), "rb")) {
    std::fseek(f, static_cast<long>(entete), SEEK_SET);
    for (std::int16_t x = 0; std::fread(&x, 2, 1, f) == 1;) e.push_back(x);
    std::fclose(f);
  }
  return e;
}

}  // namespace ravlo::essai
