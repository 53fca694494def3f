// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>
#include <functional>

class QLineEdit;

namespace ravlo {

/// La saisie du code à 4 chiffres : quatre cases dessinées (Archivo Bold), cachées de
/// l'accessibilité, au-dessus d'un vrai champ de texte invisible qui reçoit le clavier et
/// porte le nom « Code à 4 chiffres affiché sur le récepteur ». À chaque changement du texte,
/// le filtre donné réécrit le champ s'il rend autre chose (par défaut, le texte tel que
/// tapé) ; `codeChange` émet le texte retenu, Entrée émet `valider`. Un clic n'importe où
/// sur la saisie y met le focus, qu'elle prend aussi en apparaissant.
class SaisieCode final : public QWidget {
  Q_OBJECT

 public:
  using Filtre = std::function<QString(const QString&)>;

  explicit SaisieCode(QWidget* parent = nullptr);

  void changerFiltre(Filtre filtre);
  /// Remplace le texte (passé au filtre), par exemple vidé après un appairage.
  void changerCode(const QString& code);
  [[nodiscard]] QString code() const;
  [[nodiscard]] QLineEdit* champ() const { return champ_; }
  [[nodiscard]] QSize sizeHint() const override;

 signals:
  void codeChange(const QString& code);
  void valider();

 protected:
  void paintEvent(QPaintEvent* evenement) override;
  void resizeEvent(QResizeEvent* evenement) override;
  void mousePressEvent(QMouseEvent* evenement) override;
  void showEvent(QShowEvent* evenement) override;
  bool eventFilter(QObject* objet, QEvent* evenement) override;

 private:
  void texteChange(const QString& texte);

  QLineEdit* champ_;
  Filtre filtre_;
  bool reecriture_ = false;
};

}  // namespace ravlo
