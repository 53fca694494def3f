// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plateforme/pulseaudio/etat_silence.hpp"

namespace ravlo {

/// Le fichier d'état d'un silence en place, `<repertoire>/<sortie nulle>.etat`, verrouillé
/// (flock) tant que son programme vit. Le noyau lâche ce verrou quand le programme meurt,
/// même tué net : un fichier au verrou libre est le reste d'un programme mort.
class FichierEtatSilence {
 public:
  static constexpr const char* suffixe = ".etat";

  /// Crée et verrouille le fichier ; absent si le répertoire est vide ou inutilisable.
  [[nodiscard]] static std::optional<FichierEtatSilence> creer(const std::string& repertoire,
                                                               const std::string& puits);
  FichierEtatSilence(FichierEtatSilence&& autre) noexcept;
  FichierEtatSilence& operator=(FichierEtatSilence&& autre) noexcept;
  /// Lâche le verrou sans effacer le fichier.
  ~FichierEtatSilence();

  /// Remplace le contenu ; faux si l'écriture échoue.
  bool ecrire(const EtatSilence& etat);
  [[nodiscard]] std::optional<EtatSilence> lire() const;
  /// Efface le fichier et lâche le verrou.
  void supprimer();
  [[nodiscard]] const std::string& puits() const { return puits_; }

 private:
  friend struct RestesSilence;
  FichierEtatSilence(int fd, std::string chemin, std::string puits);

  int fd_ = -1;
  std::string chemin_;
  std::string puits_;
};

/// Les fichiers d'état d'un répertoire, triés en restes (verrouillés par nous à présent) et
/// sorties nulles tenues par un programme vivant (ce programme-ci compris).
struct RestesSilence {
  std::vector<FichierEtatSilence> morts;
  std::vector<std::string> vivants;

  [[nodiscard]] static RestesSilence chercher(const std::string& repertoire);
};

/// `$XDG_RUNTIME_DIR/ravlo-link`, créé au besoin (0700) ; vide sans XDG_RUNTIME_DIR.
[[nodiscard]] std::string repertoireEtatParDefaut();

}  // namespace ravlo
