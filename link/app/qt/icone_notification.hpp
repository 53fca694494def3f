// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QMenu>
#include <QObject>
#include <QRect>
#include <QSystemTrayIcon>

#include "link/app/qt/badge_link.hpp"

namespace ravlo {

/// L'icône de l'application dans la zone de notification du bureau : le badge de l'état
/// donné, l'infobulle « Ravlo Link » (suivie du statut de l'envoi quand il y en a un), un clic
/// gauche qui demande le panneau et, pour les bureaux qui ne transmettent que des menus, un clic
/// droit qui offre « Ouvrir Ravlo Link », « À propos de Ravlo Link » et « Quitter Ravlo Link ». Fil
/// principal seulement.
///
/// Sans zone de notification au démarrage, l'icône y apparaît dès qu'une zone se présente
/// (comportement de Qt).
class IconeNotification final : public QObject {
  Q_OBJECT

 public:
  explicit IconeNotification(QObject* parent = nullptr);

  /// Redessine le badge ; ne fait rien quand l'état ne change pas.
  void changerEtat(EtatBadge etat);
  [[nodiscard]] EtatBadge etat() const { return etat_; }
  /// « Envoi vers Salon » sous « Ravlo Link » dans l'infobulle ; vide : le nom seul.
  void changerStatut(const QString& statut);
  [[nodiscard]] QString infobulle() const { return icone_.toolTip(); }
  void montrer() { icone_.show(); }
  /// Une case à cocher du menu, posée avant « Quitter Ravlo Link » (qui reste la dernière).
  [[nodiscard]] QAction* ajouterCase(const QString& libelle);
  /// Où l'icône est à l'écran, pour y accrocher le panneau ; vide si l'hôte ne le dit pas.
  [[nodiscard]] QRect geometrie() const { return icone_.geometry(); }

 signals:
  void ouvrir();
  void aPropos();
  void quitter();

 private:
  QMenu menu_;  // avant l'icône, qui le garde jusqu'à sa propre destruction
  QSystemTrayIcon icone_;
  QAction* quitter_ = nullptr;
  EtatBadge etat_ = EtatBadge::repos;
};

}  // namespace ravlo
