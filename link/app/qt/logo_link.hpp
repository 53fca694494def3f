// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>

namespace ravlo {

/// Le badge de l'application, état `envoi`, dans un carré de `taille` (en-tête du panneau,
/// fenêtre d'accueil).
class LogoLink final : public QWidget {
  Q_OBJECT

 public:
  explicit LogoLink(int taille, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* evenement) override;
};

}  // namespace ravlo
