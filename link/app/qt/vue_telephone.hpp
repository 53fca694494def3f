// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>

#include "link/app/etat_panneau.hpp"

class QLabel;

namespace ravlo {

class Interrupteur;

/// « Écouter sur un téléphone » dans le panneau : l'interrupteur et, allumé, le code QR de
/// l'adresse de la page, cette adresse et les autres en texte (sélectionnable, à taper dans
/// un navigateur), ou pourquoi le serveur n'a pas pu s'ouvrir. Un clic sur l'interrupteur émet
/// `basculer` ; l'état revient par `afficher`. Caché quand l'écoute n'est pas offerte. Fil
/// principal.
class VueTelephone final : public QWidget {
  Q_OBJECT

 public:
  explicit VueTelephone(QWidget* parent = nullptr);

  void afficher(const EtatPanneau::Telephone& etat);

  [[nodiscard]] Interrupteur* interrupteur() const { return interrupteur_; }
  /// L'étiquette qui porte l'image du code.
  [[nodiscard]] QLabel* qr() const { return qr_; }
  [[nodiscard]] QLabel* adresses() const { return adresses_; }

 signals:
  void basculer();

 private:
  Interrupteur* interrupteur_ = nullptr;
  QWidget* zone_ = nullptr;
  QLabel* qr_ = nullptr;
  QLabel* consigne_ = nullptr;
  QLabel* adresses_ = nullptr;
  QLabel* erreur_ = nullptr;
  std::string adresseQr_;
};

}  // namespace ravlo
