// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace ravlo {

/// Une pièce de l'envoi : le nom de son récepteur (deux lignes au plus, écourté au-delà avec
/// le nom entier en infobulle), sous lui ce qui ne va pas quand la pièce
/// est en ennui (en orange), et le petit bouton « Retirer », qui émet `retirer` et se nomme
/// « Retirer <pièce> » pour un lecteur d'écran : plusieurs cartes n'ont pas le même.
class CartePiece final : public QWidget {
  Q_OBJECT

 public:
  explicit CartePiece(const QString& nom, QWidget* parent = nullptr);

  /// Vide : la pièce va bien, la ligne se cache.
  void changerEnnui(const QString& ennui);
  [[nodiscard]] QString ennui() const;
  [[nodiscard]] QPushButton* boutonRetirer() const { return retirer_; }

 signals:
  void retirer();

 protected:
  void paintEvent(QPaintEvent* evenement) override;

 private:
  QLabel* ennui_;
  QPushButton* retirer_;
};

}  // namespace ravlo
