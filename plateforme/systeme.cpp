// SPDX-License-Identifier: MPL-2.0
#include "plateforme/systeme.hpp"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace ravlo {
namespace {

// Une valeur de /etc/machine-info, éventuellement entre guillemets, échappements du shell
// réduits à leur caractère.
std::string sansGuillemets(std::string valeur) {
  if (valeur.size() >= 2 && (valeur.front() == '"' || valeur.front() == '\'') &&
      valeur.back() == valeur.front()) {
    valeur = valeur.substr(1, valeur.size() - 2);
  }
  std::string propre;
  for (std::size_t i = 0; i < valeur.size(); ++i) {
    if (valeur[i] == '\\' && i + 1 < valeur.size()) ++i;
    propre += valeur[i];
  }
  return propre;
}

}  // namespace

std::string nomMachine(const std::filesystem::path& infoMachine) {
  std::ifstream flux(infoMachine);
  std::string ligne;
  while (std::getline(flux, ligne)) {
    constexpr std::string_view cle = "PRETTY_HOSTNAME=";
    if (ligne.starts_with(cle)) {
      std::string nom = sansGuillemets(ligne.substr(cle.size()));
      if (!nom.empty()) return nom;
    }
  }
  std::array<char, 256> hote{};
  if (gethostname(hote.data(), hote.size() - 1) == 0 && hote[0] != '\0') return hote.data();
  return "Linux";
}

std::string localeDesTextes(const std::function<const char*(const char*)>& variable) {
  const auto donnee = [&](const char* nom) -> std::string_view {
    const char* valeur = variable(nom);
    return valeur == nullptr ? std::string_view{} : std::string_view(valeur);
  };
  std::string_view locale = "C";
  for (const char* nom : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const auto valeur = donnee(nom); !valeur.empty()) {
      locale = valeur;
      break;
    }
  }
  if (locale == "C" || locale == "POSIX") return std::string(locale);
  if (const auto priorites = donnee("LANGUAGE"); !priorites.empty()) return std::string(priorites);
  return std::string(locale);
}

std::string localeCourante() {
  return localeDesTextes([](const char* nom) {
    // Lu au démarrage, avant tout fil : personne ne modifie l'environnement en même temps.
    return std::getenv(nom);  // NOLINT(concurrency-mt-unsafe)
  });
}

}  // namespace ravlo

namespace ravlo {

bool interdireVidagesMemoire() {
  // Non « dumpable », le noyau ne fait plus de fichier core (sauf suid_dumpable = 2, où il
  // l'écrit pour root seul) et refuse ptrace et /proc/PID/mem aux processus non privilégiés.
  const rlimit aucun{0, 0};
  const bool limite = ::setrlimit(RLIMIT_CORE, &aucun) == 0;
  return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && limite;
}

}  // namespace ravlo
