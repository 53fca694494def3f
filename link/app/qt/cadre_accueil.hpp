// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace ravlo {

/// La fenêtre d'accueil, sans ses pages : 460 × 520, centrée, fond en dégradé vertical, le
/// badge en 70 sur une lueur violette (300 × 300, opacité 0,28) en haut, puis la page donnée,
/// avec des marges de 30 sur les côtés, 44 en haut et 24 en bas. `fermee` est émis une fois
/// par fermeture, qu'elle vienne du programme, d'Échap ou du bouton du gestionnaire de
/// fenêtres.
class CadreAccueil final : public QWidget {
  Q_OBJECT

 public:
  explicit CadreAccueil(QWidget* parent = nullptr);

  /// Remplace la page (l'ancienne est détruite) ; le cadre en devient le parent.
  void changerPage(QWidget* page);
  /// Centre la fenêtre sur l'écran principal, la montre et l'active.
  void montrer();
  /// Le bouton qu'Entrée presse (nul : aucun) ; Échap ferme la fenêtre.
  void changerBoutonParDefaut(QAbstractButton* bouton) { boutonParDefaut_ = bouton; }

  /// Les styles des pages : titre en Archivo Bold, corps en Instrument Sans Regular,
  /// légende en IBM Plex Mono SemiBold ; centrés et renvoyés à la ligne.
  [[nodiscard]] static QLabel* titre(const QString& texte, QWidget* parent = nullptr);
  [[nodiscard]] static QLabel* corps(const QString& texte, QWidget* parent = nullptr);
  [[nodiscard]] static QLabel* legende(const QString& texte, QWidget* parent = nullptr);

 signals:
  void fermee();

 protected:
  void paintEvent(QPaintEvent* evenement) override;
  void closeEvent(QCloseEvent* evenement) override;
  void keyPressEvent(QKeyEvent* evenement) override;

 private:
  QVBoxLayout* colonne_;
  QWidget* page_ = nullptr;
  QPointer<QAbstractButton> boutonParDefaut_;
};

}  // namespace ravlo
