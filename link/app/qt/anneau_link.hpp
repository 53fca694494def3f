// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QVariantAnimation>
#include <QWidget>
#include <vector>

namespace ravlo {

/// L'anneau de niveau pendant l'envoi, 120 × 120 : un segment d'arc par valeur de
/// l'historique (la plus ancienne en haut, puis dans le sens horaire), d'autant plus épais
/// et lumineux que le niveau (0 à 1) est haut, peint d'un dégradé angulaire violet →
/// sarcelle. Chaque nouvel historique est rejoint en 0,12 s, ralenti à l'arrivée. Pour
/// l'accessibilité, un seul élément : « Niveau du son envoyé ».
class AnneauLink final : public QWidget {
  Q_OBJECT

 public:
  explicit AnneauLink(QWidget* parent = nullptr);

  void changerNiveaux(const std::vector<float>& niveaux);
  [[nodiscard]] QSize sizeHint() const override { return {120, 120}; }

 protected:
  void paintEvent(QPaintEvent* evenement) override;

 private:
  std::vector<float> depart_;
  std::vector<float> cible_;
  std::vector<float> affiches_;
  QVariantAnimation animation_;
};

}  // namespace ravlo
