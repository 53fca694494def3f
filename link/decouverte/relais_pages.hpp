// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>
#include <set>
#include <string>

#include "plateforme/accueil_pages.hpp"
#include "protocol/base/verrou.hpp"

namespace ravlo {

/// L'accueil des pages du moment, derrière une adresse qui ne change pas : l'application
/// ouvre et ferme son serveur à la demande, alors que les fabriques de connexions du chercheur
/// et de la diffusion sont faites une fois au lancement (`fabrique`).
///
/// Un point qui a été celui d'une page le reste pour la vie du processus : une connexion vers
/// une page partie, ou après la fermeture de l'accueil, naît fermée (une voie finit alors comme
/// sur la fin de son récepteur) et n'envoie jamais d'UDP vers le port TCP d'un téléphone.
///
/// `brancher`, `demarrer`, `garder` et `arreter` : fil principal ; `estPage` et `connexion` :
/// toute file (le chercheur, l'émetteur).
class RelaisPages final : public AccueilPages, public std::enable_shared_from_this<RelaisPages> {
 public:
  /// `accueil` remplace le précédent, qui doit être arrêté ; les points déjà vus restent.
  void brancher(std::shared_ptr<AccueilPages> accueil);

  /// Démarre l'accueil branché ; ses arrivées marquent leur point comme celui d'une page.
  void demarrer(Executeur& file, RappelArrivee arrivee, RappelDepart depart) override;
  /// Exige un accueil branché (un point de page n'existe qu'ainsi).
  [[nodiscard]] std::shared_ptr<ConnexionDatagramme> connexion(const PointReseau& point,
                                                               File& file) override;
  void garder(const PointReseau& point) override;
  void arreter() override;

  [[nodiscard]] bool estPage(const PointReseau& point) const;

  /// Les connexions vers les pages par `relais`, vers tout autre point par `autres`.
  [[nodiscard]] static std::shared_ptr<FabriqueConnexions> fabrique(
      const std::shared_ptr<RelaisPages>& relais, std::shared_ptr<FabriqueConnexions> autres);

 private:
  [[nodiscard]] std::shared_ptr<AccueilPages> courant() const;

  mutable Verrou verrou_;
  std::shared_ptr<AccueilPages> accueil_ GARDE_PAR(verrou_);
  std::set<std::string> points_ GARDE_PAR(verrou_);
};

}  // namespace ravlo
