// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QAbstractButton>

namespace ravlo {

/// Interrupteur marche/arrêt dessiné : le libellé à gauche, la glissière à droite (dégradé
/// horizontal quand il est actif). Il ne bascule pas de lui-même : un clic émet `basculer`
/// et c'est le propriétaire qui redonne l'état par `changerActif`. Infobulle fixe ; pour
/// l'accessibilité, une case à cocher de valeur « activé » ou « désactivé ».
class Interrupteur final : public QAbstractButton {
  Q_OBJECT

 public:
  explicit Interrupteur(const QString& libelle, QWidget* parent = nullptr);

  void changerActif(bool actif);
  /// Le libellé montré et dit au lecteur d'écran.
  void changerLibelle(const QString& libelle);
  [[nodiscard]] bool actif() const { return actif_; }
  [[nodiscard]] QSize sizeHint() const override;

 signals:
  void basculer();

 protected:
  void paintEvent(QPaintEvent* evenement) override;

 private:
  bool actif_ = false;
};

}  // namespace ravlo
