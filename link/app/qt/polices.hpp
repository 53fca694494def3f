// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QFont>
#include <QStringList>
#include <cstdint>

namespace ravlo {

/// Les faces livrées avec l'application (licence SIL Open Font).
enum class Face : std::uint8_t {
  archivoBold,
  archivoSemiBold,
  instrumentRegular,
  instrumentMedium,
  instrumentSemiBold,
  plexMonoMedium,
  plexMonoSemiBold,
};

/// Les dossiers où chercher les fichiers, dans l'ordre : à côté du programme installé
/// (`<bin>/../share/ravlo-link/polices`), le dossier d'installation prévu à la
/// compilation, puis celui des sources (programme lancé depuis l'arbre de construction).
[[nodiscard]] QStringList dossiersPolices();

/// Charge les faces du premier dossier qui en contient ; rend le nombre de faces chargées
/// (0 : le bureau choisira des faces de remplacement). Après `QGuiApplication`, fil principal.
int chargerPolices(const QStringList& dossiers = dossiersPolices());

/// La face à `echelle` fois la taille du texte du bureau, pour suivre la taille de texte
/// choisie par l'utilisateur : `police(Face::archivoBold, 1.3)` pour un titre.
[[nodiscard]] QFont police(Face face, double echelle = 1.0);

}  // namespace ravlo
