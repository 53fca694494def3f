// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>

namespace ravlo {

/// Image d'une barre du haut d'un bureau Linux, pour montrer où vit l'icône : à gauche les
/// points des espaces de travail, l'heure au milieu, à droite la zone de notification avec
/// des icônes génériques (réseau, son, alimentation) et le badge `envoi` de Ravlo Link,
/// cerclé pour attirer l'œil.
class BarreMiniature final : public QWidget {
  Q_OBJECT

 public:
  explicit BarreMiniature(QWidget* parent = nullptr);
  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* evenement) override;
};

}  // namespace ravlo
