// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pulseaudio/fichier_etat_silence.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <utility>

namespace ravlo {
namespace {

// Un nom de sortie que nous avons pu donner : lettres, chiffres, « _ » et « - ».
bool nomDeFichierSur(std::string_view nom) {
  if (nom.empty() || nom.size() > 200) return false;
  for (const char c : nom) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

FichierEtatSilence::FichierEtatSilence(int fd, std::string chemin, std::string puits)
    : fd_(fd), chemin_(std::move(chemin)), puits_(std::move(puits)) {}

FichierEtatSilence::FichierEtatSilence(FichierEtatSilence&& autre) noexcept
    : fd_(std::exchange(autre.fd_, -1)),
      chemin_(std::move(autre.chemin_)),
      puits_(std::move(autre.puits_)) {}

FichierEtatSilence& FichierEtatSilence::operator=(FichierEtatSilence&& autre) noexcept {
  if (this != &autre) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(autre.fd_, -1);
    chemin_ = std::move(autre.chemin_);
    puits_ = std::move(autre.puits_);
  }
  return *this;
}

FichierEtatSilence::~FichierEtatSilence() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<FichierEtatSilence> FichierEtatSilence::creer(const std::string& repertoire,
                                                            const std::string& puits) {
  if (repertoire.empty() || !nomDeFichierSur(puits)) return std::nullopt;
  // Verrouillé sous un nom provisoire avant de paraître sous le vrai : qui cherche les restes
  // ne voit jamais un fichier sans verrou d'un programme vivant.
  const std::string provisoire = repertoire + "/." + puits + ".nouveau";
  const std::string chemin = repertoire + "/" + puits + suffixe;
  const int fd =
      ::open(provisoire.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return std::nullopt;
  // Un lien plutôt qu'un renommage : il refuse d'écraser un fichier existant.
  const bool pose =
      ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::link(provisoire.c_str(), chemin.c_str()) == 0;
  ::unlink(provisoire.c_str());
  if (!pose) {
    ::close(fd);
    return std::nullopt;
  }
  return FichierEtatSilence(fd, chemin, puits);
}

bool FichierEtatSilence::ecrire(const EtatSilence& etat) {
  if (fd_ < 0) return false;
  const std::string texte = etat.texte();
  if (::ftruncate(fd_, 0) != 0) return false;
  std::size_t ecrit = 0;
  while (ecrit < texte.size()) {
    const ssize_t n =
        ::pwrite(fd_, texte.data() + ecrit, texte.size() - ecrit, static_cast<off_t>(ecrit));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    ecrit += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<EtatSilence> FichierEtatSilence::lire() const {
  if (fd_ < 0) return std::nullopt;
  std::string texte;
  char morceau[4096];
  for (;;) {
    const ssize_t n = ::pread(fd_, morceau, sizeof morceau, static_cast<off_t>(texte.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    texte.append(morceau, static_cast<std::size_t>(n));
    if (texte.size() > (1u << 20)) return std::nullopt;
  }
  return EtatSilence::lire(texte);
}

void FichierEtatSilence::supprimer() {
  if (fd_ < 0) return;
  ::unlink(chemin_.c_str());
  ::close(fd_);
  fd_ = -1;
}

RestesSilence RestesSilence::chercher(const std::string& repertoire) {
  RestesSilence restes;
  if (repertoire.empty()) return restes;
  const std::string_view fin = FichierEtatSilence::suffixe;
  std::error_code erreur;
  for (std::filesystem::directory_iterator it(repertoire, erreur), bout; !erreur && it != bout;
       it.increment(erreur)) {
    const std::filesystem::directory_entry& entree = *it;
    const std::string nom = entree.path().filename().string();
    if (nom.size() <= fin.size() || !nom.ends_with(fin)) continue;
    const std::string puits = nom.substr(0, nom.size() - fin.size());
    if (!nomDeFichierSur(puits)) continue;
    const std::string chemin = entree.path().string();
    const int fd = ::open(chemin.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      restes.vivants.push_back(puits);
      continue;
    }
    // Effacé entre-temps par son programme, qui l'a défait lui-même : rien à reprendre.
    struct stat ouvert{};
    struct stat present{};
    if (::fstat(fd, &ouvert) != 0 || ::lstat(chemin.c_str(), &present) != 0 ||
        ouvert.st_ino != present.st_ino) {
      ::close(fd);
      continue;
    }
    restes.morts.push_back(FichierEtatSilence(fd, chemin, puits));
  }
  return restes;
}

std::string repertoireEtatParDefaut() {
  // Lu au démarrage d'une capture, sur le fil principal ; personne ne change l'environnement.
  const char* execution = std::getenv("XDG_RUNTIME_DIR");  // NOLINT(concurrency-mt-unsafe)
  if (execution == nullptr || execution[0] != '/') return {};
  std::string repertoire = std::string(execution) + "/ravlo-link";
  if (::mkdir(repertoire.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat etat{};
  if (::lstat(repertoire.c_str(), &etat) != 0 || !S_ISDIR(etat.st_mode) ||
      etat.st_uid != ::getuid()) {
    return {};
  }
  return repertoire;
}

}  // namespace ravlo
