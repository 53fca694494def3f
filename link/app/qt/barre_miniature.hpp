#pragma once

#include <QWidget>

namespace ravlo {

/// Image de la fin droite d'une barre de bureau, pour montrer où vit l'icône : le badge
/// `envoi` (dessiné comme dans la zone de notification, cerclé pour attirer l'œil), puis
/// « Wi-Fi » et « sam. 14:02 ».
class BarreMiniature final : public QWidget {
  Q_OBJECT

 public:
  explicit BarreMiniature(QWidget* parent = nullptr);
  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* evenement) override;

 private:
  QString wifi_;
  QString heure_;
};

}  // namespace ravlo
