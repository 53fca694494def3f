// SPDX-License-Identifier: MPL-2.0
#include "plateforme/fichier_prive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace ravlo {
namespace {

std::string erreurSysteme(std::string_view quoi, const std::filesystem::path& chemin, int code) {
  return std::string(quoi) + " " + chemin.string() + " : " + std::generic_category().message(code);
}

// Ferme le descripteur à la sortie de portée, quelle qu'elle soit.
struct Descripteur {
  int fd = -1;
  Descripteur(const Descripteur&) = delete;
  Descripteur& operator=(const Descripteur&) = delete;
  explicit Descripteur(int f) : fd(f) {}
  ~Descripteur() {
    if (fd >= 0) {
      ::close(fd);
    }
  }
};

std::expected<void, std::string> creerDossierPrive(const std::filesystem::path& dossier) {
  if (dossier.empty()) {
    return {};
  }
  std::error_code ec;
  if (std::filesystem::is_directory(dossier, ec)) {
    return {};
  }
  if (auto parent = dossier.parent_path(); parent != dossier) {
    // Les dossiers parents (~/.local/state…) gardent les droits ordinaires.
    std::filesystem::create_directories(parent, ec);
  }
  if (::mkdir(dossier.c_str(), 0700) != 0 && errno != EEXIST) {
    return std::unexpected(erreurSysteme("Création impossible du dossier", dossier, errno));
  }
  return {};
}

}  // namespace

std::expected<void, std::string> ecrireFichierPrive(const std::filesystem::path& chemin,
                                                    std::span<const std::uint8_t> contenu) {
  if (auto dossier = creerDossierPrive(chemin.parent_path()); !dossier) {
    return dossier;
  }
  auto temporaire = chemin;
  temporaire += ".XXXXXX";
  std::string modele = temporaire.string();
  // mkstemp crée en 0600 : le secret n'est jamais lisible d'un autre, même un instant.
  Descripteur d{::mkostemp(modele.data(), O_CLOEXEC)};
  if (d.fd < 0) {
    return std::unexpected(erreurSysteme("Écriture impossible de", chemin, errno));
  }
  auto echec = [&](int code) {
    ::unlink(modele.c_str());
    return std::unexpected(erreurSysteme("Écriture impossible de", chemin, code));
  };
  std::size_t ecrits = 0;
  while (ecrits < contenu.size()) {
    const auto n = ::write(d.fd, contenu.data() + ecrits, contenu.size() - ecrits);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return echec(errno);
    }
    ecrits += static_cast<std::size_t>(n);
  }
  if (::fsync(d.fd) != 0) {
    return echec(errno);
  }
  if (::rename(modele.c_str(), chemin.c_str()) != 0) {
    return echec(errno);
  }
  return {};
}

std::expected<std::optional<Octets>, std::string> lireFichierPrive(
    const std::filesystem::path& chemin, std::size_t tailleMax) {
  Descripteur d{::open(chemin.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
  if (d.fd < 0) {
    if (errno == ENOENT) {
      return std::optional<Octets>{};
    }
    return std::unexpected(erreurSysteme("Lecture impossible de", chemin, errno));
  }
  struct stat etat{};
  if (::fstat(d.fd, &etat) != 0) {
    return std::unexpected(erreurSysteme("Lecture impossible de", chemin, errno));
  }
  if (!S_ISREG(etat.st_mode) || etat.st_uid != ::geteuid() || (etat.st_mode & 077) != 0) {
    return std::unexpected(chemin.string() +
                           " n'est pas un fichier privé de cet utilisateur : il est ignoré.");
  }
  if (static_cast<std::size_t>(etat.st_size) > tailleMax) {
    return std::unexpected(chemin.string() + " est trop grand (" + std::to_string(etat.st_size) +
                           " octets).");
  }
  Octets contenu(static_cast<std::size_t>(etat.st_size));
  std::size_t lus = 0;
  while (lus < contenu.size()) {
    const auto n = ::read(d.fd, contenu.data() + lus, contenu.size() - lus);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return std::unexpected(erreurSysteme("Lecture impossible de", chemin, errno));
    }
    if (n == 0) {
      contenu.resize(lus);  // raccourci entre fstat et read
      break;
    }
    lus += static_cast<std::size_t>(n);
  }
  return std::optional<Octets>{std::move(contenu)};
}

std::expected<void, std::string> effacerFichierPrive(const std::filesystem::path& chemin) {
  if (::unlink(chemin.c_str()) != 0 && errno != ENOENT) {
    return std::unexpected(erreurSysteme("Effacement impossible de", chemin, errno));
  }
  return {};
}

std::filesystem::path dossierEtatUtilisateur(
    std::string_view application, const std::function<const char*(const char*)>& variable) {
  const char* etat = variable("XDG_STATE_HOME");
  if (etat != nullptr && etat[0] == '/') {
    return std::filesystem::path(etat) / application;
  }
  const char* maison = variable("HOME");
  if (maison != nullptr && maison[0] == '/') {
    return std::filesystem::path(maison) / ".local" / "state" / application;
  }
  return {};
}

}  // namespace ravlo
