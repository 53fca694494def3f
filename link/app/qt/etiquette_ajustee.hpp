// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QLabel>

namespace ravlo {

/// `texte` en au plus `lignesMax` lignes de `largeur` pixels dans `police`, séparées par
/// « \n » : coupé aux espaces, un mot plus long qu'une ligne coupé entre deux graphèmes ; ce
/// qui ne tient pas finit la dernière ligne par « … ». Largeur nulle ou négative : le texte
/// tel quel.
[[nodiscard]] QString texteAjuste(const QString& texte, const QFont& police, int largeur,
                                  int lignesMax);

/// Une étiquette dont le texte tient dans sa largeur, en au plus `lignesMax` lignes
/// (`texteAjuste`), refait à chaque changement de largeur ; écourté, il est entier dans
/// l'infobulle et pour le lecteur d'écran. Sa hauteur suit sa largeur.
class EtiquetteAjustee final : public QLabel {
  Q_OBJECT

 public:
  explicit EtiquetteAjustee(int lignesMax, QWidget* parent = nullptr);

  void changerTexte(const QString& texte);
  [[nodiscard]] const QString& texteComplet() const { return complet_; }

  [[nodiscard]] QSize sizeHint() const override;
  [[nodiscard]] QSize minimumSizeHint() const override;
  [[nodiscard]] bool hasHeightForWidth() const override { return true; }
  [[nodiscard]] int heightForWidth(int largeur) const override;

 protected:
  void resizeEvent(QResizeEvent* evenement) override;
  void changeEvent(QEvent* evenement) override;

 private:
  void ajuster();

  int lignesMax_;
  QString complet_;
};

}  // namespace ravlo
