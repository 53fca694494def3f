// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QObject>
#include <QRect>
#include <memory>

#include "link/app/actions_panneau.hpp"
#include "link/app/qt/reglages_bureau.hpp"
#include "plateforme/modele_observable.hpp"

namespace ravlo {

class CadrePanneau;
class VuePanneau;

/// Le panneau de l'application : la fenêtre surgissante, sa `VuePanneau`, sa saisie et son
/// relevé de niveau. Il redérive `EtatPanneau` à chaque notification du modèle de
/// l'application, du chercheur, du modèle de diffusion ou de la saisie, entretient la
/// sélection quand la liste change, relance le relevé quand l'envoi commence ou cesse, et
/// l'arrête à la fermeture. « Ouvrir les réglages » ouvre les réglages du son pour un message
/// de l'envoi (capture muette), ceux du réseau sinon (réseau local inaccessible), et ne
/// s'offre que si le bureau a l'outil. Fil principal.
class PanneauLink final : public QObject {
  Q_OBJECT

 public:
  PanneauLink(std::shared_ptr<ModeleLink> modele, const std::shared_ptr<PlateformeApp>& plateforme,
              Executeur& principal, ReglagesBureau reglages, QObject* parent = nullptr);
  ~PanneauLink() override;
  PanneauLink(const PanneauLink&) = delete;
  PanneauLink& operator=(const PanneauLink&) = delete;

  /// Le clic sur l'icône : ouvre le panneau près d'elle (recherche relancée, sélection
  /// entretenue, relevé relancé), ou le ferme s'il est ouvert.
  void basculerPres(const QRect& icone);
  void ouvrirPres(const QRect& icone);
  /// Sans zone de notification : le panneau devient une fenêtre ordinaire et s'ouvre, avec
  /// `note` (vide : aucune) pour dire pourquoi. Chaque changement de sorte refait le cadre :
  /// une référence à `cadre()` ne vaut que jusque-là.
  void ouvrirEnFenetre(const QString& note);
  /// Une zone de notification est là : la fenêtre se ferme, le panneau redevient surgissant.
  void revenirALaZone();
  /// Une autre instance a été lancée : la fenêtre revient au premier plan, ou le panneau
  /// s'ouvre près de `icone`.
  void rappeler(const QRect& icone);

  [[nodiscard]] CadrePanneau& cadre() const { return *cadre_; }
  [[nodiscard]] VuePanneau& vue() const { return *vue_; }
  [[nodiscard]] SaisiePanneau& saisie() const { return *saisie_; }

 private:
  void reconstruire();
  /// Un cadre neuf de la sorte voulue prend la vue : voir `CadrePanneau::changerEnFenetre`.
  void changerDeCadre(bool fenetre, const QString& note);

  std::shared_ptr<ModeleLink> modele_;
  std::shared_ptr<SaisiePanneau> saisie_ = std::make_shared<SaisiePanneau>();
  ReglagesBureau reglages_;
  TickerNiveau ticker_;
  std::unique_ptr<CadrePanneau> cadre_;
  VuePanneau* vue_;
  EtatPanneau etat_;
  bool enDiffusion_ = false;
  bool enReconstruction_ = false;
  bool aRefaire_ = false;
  Abonnement suiviModele_, suiviChercheur_, suiviDiffusion_, suiviSaisie_;
};

}  // namespace ravlo
