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
class QProgressBar;
class QVBoxLayout;

namespace ravlo {

class Alerte;
class AnneauLink;
class BoutonLink;
class CarteAppareil;
class EtiquetteAjustee;
class FormulaireAdresse;
class Interrupteur;
class SaisieCode;
class VuePieces;
class VueTelephone;

/// Le contenu du panneau pour un `EtatPanneau` : la boîte de message quand il y en a une,
/// l'un des trois écrans (appairage, sa liste suivie d'« Ajouter par adresse », prêt, envoi, ce
/// dernier avec ses pièces : `VuePieces`), « Écouter sur un téléphone » (`VueTelephone`) et le
/// pied (« Changer de récepteur », « Quitter Ravlo
/// Link »). Elle ne décide de rien : ce qui est choisi, tapé et relevé vit dans la `SaisiePanneau`,
/// les règles dans `regles_panneau`, les effets dans les actions. Fil principal.
class VuePanneau final : public QWidget {
  Q_OBJECT

 public:
  VuePanneau(std::shared_ptr<SaisiePanneau> saisie, ActionsPanneau actions,
             QWidget* parent = nullptr);

  /// Redessine pour `etat` ; `reglagesOfferts` : la boîte montre « Ouvrir les réglages »
  /// (le message le demande et le bureau a l'outil).
  void afficher(const EtatPanneau& etat, bool reglagesOfferts);
  /// Relit la saisie (sélection, code, niveaux) après un changement de celle-ci.
  void relireSaisie();

  [[nodiscard]] BoutonLink* boutonAppairer() const { return appairer_; }
  [[nodiscard]] QPushButton* boutonFaireEntendre() const { return faireEntendre_; }
  [[nodiscard]] SaisieCode* saisieCode() const { return code_; }
  [[nodiscard]] Alerte* alerte() const { return alerte_; }
  [[nodiscard]] VuePieces* pieces() const { return pieces_; }
  [[nodiscard]] FormulaireAdresse* adresse() const { return adresse_; }
  [[nodiscard]] VueTelephone* telephone() const { return telephone_; }
  [[nodiscard]] const std::vector<CarteAppareil*>& cartes() const { return cartes_; }

 private:
  QWidget* construireAppairage();
  QWidget* construireParti(Interrupteur*& bascule, bool envoi);
  void validerAppairage();
  void refaireCartes();

  std::shared_ptr<SaisiePanneau> saisie_;
  ActionsPanneau actions_;
  EtatPanneau etat_;
  bool premierAffichage_ = true;
  HistoriqueNiveau niveauxAffiches_;

  Alerte* alerte_ = nullptr;
  QWidget* ecranAppairage_ = nullptr;
  QWidget* ecranPret_ = nullptr;
  QWidget* ecranEnvoi_ = nullptr;
  QVBoxLayout* listeCartes_ = nullptr;
  std::vector<CarteAppareil*> cartes_;
  QWidget* indice_ = nullptr;
  QProgressBar* attente_ = nullptr;
  FormulaireAdresse* adresse_ = nullptr;
  SaisieCode* code_ = nullptr;
  BoutonLink* appairer_ = nullptr;
  BoutonLink* oublier_ = nullptr;  ///< pour un récepteur retenu
  QPushButton* faireEntendre_ = nullptr;
  EtiquetteAjustee* nomPret_ = nullptr;
  Interrupteur* silencePret_ = nullptr;
  VuePieces* pieces_ = nullptr;
  Interrupteur* silenceEnvoi_ = nullptr;
  AnneauLink* anneau_ = nullptr;
  QLabel* duree_ = nullptr;
  VueTelephone* telephone_ = nullptr;
};

}  // namespace ravlo
