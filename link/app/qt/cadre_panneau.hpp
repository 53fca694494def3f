// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QElapsedTimer>
#include <QRect>
#include <QWidget>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace ravlo {

/// Où poser le panneau de taille `taille` près de l'icône `icone`, dans la zone utile
/// `ecran` : centré sur l'icône, dessous quand l'icône est dans la moitié haute de l'écran
/// (barre en haut), dessus sinon, à 6 de l'icône, et toujours entier à l'écran (marge 8).
/// Icône inconnue (rectangle vide, certains hôtes ne le disent pas) : coin haut-droit.
[[nodiscard]] QPoint positionPanneau(const QRect& icone, const QSize& taille, const QRect& ecran);

/// Ce à quoi accrocher le panneau : l'icône quand l'hôte dit où elle est, sinon le point
/// d'activation (le pointeur), les hôtes StatusNotifier ne donnant aucune géométrie.
[[nodiscard]] QRect ancrePanneau(const QRect& icone, const QPoint& pointeur);

/// La fenêtre du panneau : sans cadre, 320 de large, fond en dégradé vertical, 14 de marge,
/// l'en-tête (badge et « Ravlo Link ») puis le contenu donné. Jamais plus haut que la zone
/// utile de l'écran (marge 8 en haut et en bas) : au-delà, le contenu défile sous l'en-tête,
/// et le panneau qui grandit remonte pour y rester entier. Fenêtre surgissante : elle se
/// ferme quand on clique ailleurs ou qu'elle perd l'activation. Sans zone de notification,
/// elle devient une fenêtre ordinaire du gestionnaire de fenêtres, avec une note sous l'en-tête.
class CadrePanneau final : public QWidget {
  Q_OBJECT

 public:
  explicit CadrePanneau(QWidget* parent = nullptr);

  /// Remplace le contenu (l'ancien est détruit) ; le cadre en devient le parent.
  void changerContenu(QWidget* contenu);
  /// Rend le contenu, sans parent, pour un autre cadre ; le cadre reste vide.
  [[nodiscard]] QWidget* prendreContenu();
  /// Le clic sur l'icône : ouvre le panneau près d'elle, ou le ferme s'il est ouvert. Le
  /// clic qui vient de le fermer en cliquant hors de lui (sur l'icône) ne le rouvre pas.
  void basculerPres(const QRect& icone);
  void montrerPres(const QRect& icone);
  /// Fenêtre ordinaire (vrai) ou surgissante ; `note` vide : pas de note. Ferme le panneau.
  /// Avant le premier affichage seulement : la fenêtre native, une fois créée, garde son canal
  /// alpha, que Qt ne refait pas (un panneau revenu d'une fenêtre restait tout noir). Pour
  /// changer ensuite, un cadre neuf prend le contenu (`prendreContenu`).
  void changerEnFenetre(bool fenetre, const QString& note = {});
  [[nodiscard]] bool enFenetre() const { return enFenetre_; }
  /// La note montrée en fenêtre ordinaire ; vide s'il n'y en a pas.
  [[nodiscard]] QString note() const;
  /// En fenêtre ordinaire : la montre centrée sur l'écran principal et l'active.
  void montrerFenetre();
  /// Reprend la hauteur voulue par le contenu, bornée à `zoneUtile`, et ramène le panneau
  /// dans celle-ci s'il en déborde.
  void ajusterA(const QRect& zoneUtile);
  /// `ajusterA` la zone utile de l'écran où est le panneau ; après un changement du contenu.
  void reajuster();
  [[nodiscard]] QScrollArea* defilement() const { return defilement_; }

 signals:
  void ferme();

 protected:
  void paintEvent(QPaintEvent* evenement) override;
  void hideEvent(QHideEvent* evenement) override;
  bool event(QEvent* evenement) override;
  bool eventFilter(QObject* objet, QEvent* evenement) override;

 private:
  QVBoxLayout* colonne_;
  QScrollArea* defilement_;
  QWidget* contenu_ = nullptr;
  QLabel* note_;
  QElapsedTimer depuisFermeture_;
  bool reajustementPrevu_ = false;
  QRect zoneUtile_;  ///< la dernière donnée à `ajusterA`
  bool enFenetre_ = false;
};

}  // namespace ravlo
