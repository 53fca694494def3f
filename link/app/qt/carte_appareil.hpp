// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QAbstractButton>

namespace ravlo {

/// Un récepteur de la liste : son nom et, quand il est choisi, une coche et un liseré en
/// dégradé (état « sélectionné » pour l'accessibilité). Au clavier, le focus se voit à un
/// anneau blanc en tirets, autre que le liseré du choix. Un nom coupé se lit en entier dans
/// l'infobulle. Un clic (ou Espace) émet `choisir` ; le choix revient du propriétaire par
/// `changerChoisi`. Un téléphone (une page de réception) porte un pictogramme de téléphone
/// devant son nom, et le lecteur d'écran le dit.
class CarteAppareil final : public QAbstractButton {
  Q_OBJECT

 public:
  explicit CarteAppareil(const QString& nom, QWidget* parent = nullptr);

  void changerChoisi(bool choisi);
  [[nodiscard]] bool choisi() const { return choisi_; }
  void changerTelephone(bool telephone);
  [[nodiscard]] bool telephone() const { return telephone_; }
  [[nodiscard]] QSize sizeHint() const override;
  /// Le focus est venu du clavier : l'anneau se dessine.
  [[nodiscard]] bool montreFocus() const;

 signals:
  void choisir();

 protected:
  void paintEvent(QPaintEvent* evenement) override;
  void resizeEvent(QResizeEvent* evenement) override;

 private:
  [[nodiscard]] QRectF zoneTexte() const;
  [[nodiscard]] QString nomAffiche() const;

  bool choisi_ = false;
  bool telephone_ = false;
};

}  // namespace ravlo
