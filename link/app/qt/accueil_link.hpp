// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QObject>
#include <memory>

#include "link/app/page_accueil.hpp"
#include "link/app/qt/reglages_bureau.hpp"
#include "plateforme/demarrage_auto.hpp"
#include "plateforme/magasin_reglages.hpp"
#include "plateforme/modele_observable.hpp"

namespace ravlo {

class CadreAccueil;

/// La fenêtre d'accueil du premier lancement : quatre pages qui suivent le modèle en direct
/// (`PageAccueil`). « Vérifier et commencer » lance la recherche et, si elle n'a jamais
/// tourné, la sonde du son. Fermée de quelque façon que ce soit, elle écrit
/// "RavloAccueilVu", lance la recherche et émet `fermee` (une fois). La dernière page offre
/// le lancement à l'ouverture de session quand on lui donne un `DemarrageAuto`. Une page de
/// refus offre « Réessayer ». Entrée presse le bouton principal de la page, Échap ferme.
/// Fil principal.
class AccueilLink final : public QObject {
  Q_OBJECT

 public:
  AccueilLink(std::shared_ptr<ModeleLink> modele, std::shared_ptr<MagasinReglages> reglages,
              ReglagesBureau bureau, std::shared_ptr<DemarrageAuto> demarrage = nullptr,
              QObject* parent = nullptr);
  ~AccueilLink() override;
  AccueilLink(const AccueilLink&) = delete;
  AccueilLink& operator=(const AccueilLink&) = delete;

  /// L'accueil n'a jamais été fermé.
  [[nodiscard]] static bool du(const MagasinReglages& reglages);

  void montrer();
  void commencer();
  /// « Réessayer » d'une page de refus : la recherche et, s'il le faut, la sonde repartent.
  void reessayer();
  [[nodiscard]] const PageAccueil& page() const { return page_; }
  [[nodiscard]] CadreAccueil& cadre() const { return *cadre_; }

 signals:
  void fermee();

 private:
  void suivre();
  [[nodiscard]] QWidget* construirePage();

  std::shared_ptr<ModeleLink> modele_;
  std::shared_ptr<MagasinReglages> reglages_;
  ReglagesBureau bureau_;
  std::shared_ptr<DemarrageAuto> demarrage_;
  std::unique_ptr<CadreAccueil> cadre_;
  bool commence_ = false;
  bool premiere_ = true;
  PageAccueil page_;
  Abonnement suiviModele_, suiviChercheur_;
};

}  // namespace ravlo
