// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace ravlo {

class EtiquetteAjustee;

/// La boîte de message : un titre (Archivo Bold, sur trois lignes au plus, écourté au-delà
/// avec le titre entier en infobulle), un texte (Instrument Sans Regular) et,
/// seulement quand on le demande, le bouton texte souligné « Ouvrir les réglages », qui
/// émet `ouvrirReglages`.
class Alerte final : public QWidget {
  Q_OBJECT

 public:
  explicit Alerte(QWidget* parent = nullptr);

  void montrerMessage(const QString& titre, const QString& texte, bool avecReglages);
  /// Le titre entier, tel que donné.
  [[nodiscard]] QString titre() const;
  [[nodiscard]] const EtiquetteAjustee& etiquetteTitre() const { return *titre_; }
  [[nodiscard]] QString texte() const;
  [[nodiscard]] bool offreReglages() const;

 signals:
  void ouvrirReglages();

 protected:
  void paintEvent(QPaintEvent* evenement) override;

 private:
  EtiquetteAjustee* titre_;
  QLabel* texte_;
  QPushButton* reglages_;
};

}  // namespace ravlo
