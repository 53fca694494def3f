// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QAbstractButton>
#include <cstdint>

class QPushButton;

namespace ravlo {

/// Bouton principal du panneau : 38 de haut, coins de 13, libellé en Instrument Sans
/// SemiBold. `degrade` se remplit d'un dégradé horizontal du début à la fin de la ligne,
/// `plein` d'une couleur unie ; enfoncé, il s'assombrit. Désactivé, tout le bouton est
/// dessiné à l'opacité 0,45 et ne réagit plus (clic ni touche).
class BoutonLink final : public QAbstractButton {
  Q_OBJECT

 public:
  enum class Sorte : std::uint8_t { degrade, plein };

  BoutonLink(const QString& libelle, Sorte sorte, QWidget* parent = nullptr);

  [[nodiscard]] Sorte sorte() const { return sorte_; }
  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* evenement) override;

 private:
  Sorte sorte_;
};

/// Le bouton texte discret du panneau (« Changer de récepteur », « Retirer ») : sans cadre,
/// dans la couleur douce du texte, plus clair enfoncé.
[[nodiscard]] QPushButton* boutonTexte(const QString& libelle, QWidget* parent,
                                       double echelle = 0.9);

}  // namespace ravlo
