// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "link/app/actions_panneau.hpp"
#include "link/app/etat_panneau.hpp"
#include "link/app/saisie_panneau.hpp"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace ravlo {

class BoutonLink;
class CarteAppareil;
class CartePiece;
class FormulaireAdresse;
class SaisieCode;

/// Les pièces de l'envoi : une `CartePiece` par pièce, puis « Ajouter une pièce », qui ouvre
/// le choix d'un autre récepteur trouvé (ceux qui ne jouent pas déjà), son code et « Ajouter
/// la pièce ». Comme `VuePanneau`, elle ne décide de rien : le choix et le code vivent dans la
/// `SaisiePanneau` (les mêmes que pour l'appairage, que l'envoi cache), les effets dans les
/// actions. Fil principal.
class VuePieces final : public QWidget {
  Q_OBJECT

 public:
  VuePieces(std::shared_ptr<SaisiePanneau> saisie, ActionsPanneau actions,
            QWidget* parent = nullptr);

  void afficher(const EtatPanneau& etat);
  void relireSaisie();

  [[nodiscard]] const std::vector<CartePiece*>& cartesPieces() const { return pieces_; }
  [[nodiscard]] QPushButton* boutonOuvrir() const { return ouvrir_; }
  [[nodiscard]] BoutonLink* boutonAjouter() const { return ajouter_; }
  [[nodiscard]] SaisieCode* saisieCode() const { return code_; }
  [[nodiscard]] FormulaireAdresse* adresse() const { return adresse_; }

 private:
  void refairePieces();
  void refaireChoix();
  void valider();

  std::shared_ptr<SaisiePanneau> saisie_;
  ActionsPanneau actions_;
  EtatPanneau etat_;
  bool premierAffichage_ = true;

  QVBoxLayout* listePieces_ = nullptr;
  std::vector<CartePiece*> pieces_;
  QPushButton* ouvrir_ = nullptr;
  QWidget* ajout_ = nullptr;
  QVBoxLayout* listeChoix_ = nullptr;
  std::vector<CarteAppareil*> choix_;
  QLabel* aucun_ = nullptr;
  FormulaireAdresse* adresse_ = nullptr;
  SaisieCode* code_ = nullptr;
  BoutonLink* ajouter_ = nullptr;
};

}  // namespace ravlo
