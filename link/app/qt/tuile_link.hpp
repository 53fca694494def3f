// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>

namespace ravlo {

/// Tuile titrée qui groupe une section du panneau : l'étiquette `titre` au-dessus du
/// `contenu` (dont elle devient le parent), sur une carte aux coins arrondis.
class TuileLink final : public QWidget {
  Q_OBJECT

 public:
  TuileLink(const QString& titre, QWidget* contenu, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* evenement) override;
};

}  // namespace ravlo
