// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QLabel>

namespace ravlo {

/// Petite étiquette de section, en capitales, IBM Plex Mono SemiBold espacé de 1,4.
class Etiquette final : public QLabel {
  Q_OBJECT

 public:
  explicit Etiquette(const QString& texte, QWidget* parent = nullptr);
};

/// Un texte du panneau qui passe à la ligne, dans `face` et `couleur`.
QLabel* libelle(const QFont& face, const QColor& couleur, QWidget* parent);

}  // namespace ravlo
