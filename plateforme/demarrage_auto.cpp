// SPDX-License-Identifier: MPL-2.0
#include "plateforme/demarrage_auto.hpp"

#include <cstdlib>
#include <fstream>

namespace ravlo {

DemarrageAutoXdg::DemarrageAutoXdg(std::filesystem::path dossierConfig, std::string commande)
    : dossierConfig_(std::move(dossierConfig)), commande_(std::move(commande)) {}

std::filesystem::path DemarrageAutoXdg::dossierConfigUtilisateur() {
  // Lu au fil principal, l'environnement ne change pas pendant la vie du programme.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");  // NOLINT(concurrency-mt-unsafe)
  if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) return xdg;
  const char* maison = std::getenv("HOME");  // NOLINT(concurrency-mt-unsafe)
  return std::filesystem::path(maison != nullptr ? maison : "") / ".config";
}

std::filesystem::path DemarrageAutoXdg::fichier() const {
  return dossierConfig_ / "autostart" / "ravlo-link.desktop";
}

bool DemarrageAutoXdg::actif() const {
  std::ifstream entree(fichier());
  if (!entree) return false;
  for (std::string ligne; std::getline(entree, ligne);) {
    if (ligne == "Hidden=true") return false;
  }
  return true;
}

std::error_code DemarrageAutoXdg::changer(bool actif) {
  std::error_code erreur;
  if (!actif) {
    std::filesystem::remove(fichier(), erreur);
    return erreur;
  }
  std::filesystem::create_directories(fichier().parent_path(), erreur);
  if (erreur) return erreur;
  // Écrit à côté puis renommé : une session ouverte entre-temps ne lit jamais un fichier
  // à moitié écrit.
  const std::filesystem::path provisoire = fichier().string() + ".nouveau";
  {
    std::ofstream sortie(provisoire, std::ios::trunc);
    sortie << "[Desktop Entry]\nType=Application\nName=Ravlo Link\nExec=" << commande_
           << "\nIcon=ravlo-link\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    sortie.close();
    if (!sortie) return std::make_error_code(std::errc::io_error);
  }
  std::filesystem::rename(provisoire, fichier(), erreur);
  return erreur;
}

}  // namespace ravlo
