// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/app/regles_panneau.hpp"
#include "plateforme/modele_observable.hpp"

namespace ravlo {

/// L'état propre du panneau, gardé d'une reconstruction à l'autre : le récepteur choisi, le
/// code tapé (pour l'appairage, ou pour une pièce ajoutée pendant l'envoi), si « Ajouter une
/// pièce » ou « Ajouter par adresse » est ouvert, l'historique des niveaux. Ses setters appliquent
/// les règles (filtre du code, entretien de la sélection) et préviennent les observateurs quand la
/// valeur change, pour que le champ réécrive ce qu'il montre. Fil principal.
class SaisiePanneau final : public ModeleObservable {
 public:
  [[nodiscard]] const std::optional<std::string>& selection() const { return selection_; }
  [[nodiscard]] const std::string& code() const { return code_; }
  [[nodiscard]] const HistoriqueNiveau& niveaux() const { return niveaux_; }
  [[nodiscard]] bool ajoutOuvert() const { return ajoutOuvert_; }
  [[nodiscard]] bool adresseOuverte() const { return adresseOuverte_; }

  void choisir(std::optional<std::string> id) { changer(selection_, std::move(id)); }
  /// Garde ce que `filtrerCode` garde de `saisie`.
  void changerCode(std::string_view saisie) { changer(code_, filtrerCode(saisie)); }
  /// À l'ouverture du panneau et à chaque changement de la liste des récepteurs.
  void entretenirSelection(const std::vector<EtatPanneau::Appareil>& liste) {
    changer(selection_, selectionEntretenue(selection_, liste));
  }
  void changerAjoutOuvert(bool ouvert) { changer(ajoutOuvert_, ouvert); }
  void changerAdresseOuverte(bool ouverte) { changer(adresseOuverte_, ouverte); }
  void ajouterNiveau(float niveau) {
    niveaux_.ajouter(niveau);
    prevenir();
  }

 private:
  std::optional<std::string> selection_;
  std::string code_;
  bool ajoutOuvert_ = false;
  bool adresseOuverte_ = false;
  HistoriqueNiveau niveaux_;
};

}  // namespace ravlo
