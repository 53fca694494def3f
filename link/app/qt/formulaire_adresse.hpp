// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ravlo {

class BoutonLink;

/// « Ajouter par adresse », sous la liste des récepteurs : fermé, un bouton texte qui émet
/// `ouvrir` ; ouvert, deux champs (hôte ou adresse IP, port), « Ajouter », qui émet `ajouter`
/// avec ce qui est tapé (la touche Entrée aussi), « Annuler », qui émet `fermer`, et l'erreur
/// de l'adresse d'avant, en orange. Il ne décide de rien : le propriétaire redonne l'état par
/// `afficher`. Fil principal.
class FormulaireAdresse final : public QWidget {
  Q_OBJECT

 public:
  explicit FormulaireAdresse(QWidget* parent = nullptr);

  /// `enCours` : l'hôte se résout, « Ajouter » attend ; `erreur` vide : aucune. Fermé, les
  /// champs se vident.
  void afficher(bool ouvert, bool enCours, const QString& erreur);

  [[nodiscard]] QLineEdit* champHote() const { return hote_; }
  [[nodiscard]] QLineEdit* champPort() const { return port_; }
  [[nodiscard]] BoutonLink* boutonAjouter() const { return ajouter_; }
  [[nodiscard]] QPushButton* boutonOuvrir() const { return ouvrir_; }
  [[nodiscard]] QString erreur() const;

 signals:
  void ouvrir();
  void fermer();
  void ajouter(const QString& hote, const QString& port);

 private:
  void valider();

  QPushButton* ouvrir_;
  QWidget* formulaire_;
  QLineEdit* hote_;
  QLineEdit* port_;
  BoutonLink* ajouter_;
  QLabel* erreur_;
  bool enCours_ = false;
};

}  // namespace ravlo
