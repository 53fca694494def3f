#pragma once

#include <QAbstractButton>

namespace ravlo {

/// Un récepteur de la liste : son nom et, quand il est choisi, une coche et un liseré en
/// dégradé (état « sélectionné » pour l'accessibilité). Un clic émet `choisir` ; le choix
/// revient du propriétaire par `changerChoisi`.
class CarteAppareil final : public QAbstractButton {
  Q_OBJECT

 public:
  explicit CarteAppareil(const QString& nom, QWidget* parent = nullptr);

  void changerChoisi(bool choisi);
  [[nodiscard]] bool choisi() const { return choisi_; }
  [[nodiscard]] QSize sizeHint() const override;

 signals:
  void choisir();

 protected:
  void paintEvent(QPaintEvent* evenement) override;

 private:
  bool choisi_ = false;
};

}  // namespace ravlo
