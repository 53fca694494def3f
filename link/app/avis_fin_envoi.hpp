// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "link/app/modele_link.hpp"
#include "link/app/notifications_bureau.hpp"

namespace ravlo {

/// Prévient le bureau quand l'envoi cesse sans que l'utilisateur l'ait demandé : le récepteur
/// a arrêté la lecture ou ne répond plus (l'envoi prend fin), ou la capture ne livre plus
/// rien malgré ses relances (l'envoi ne porte plus de son). Le panneau, souvent fermé, le dit
/// aussi ; la bulle reprend son titre et son texte. Une fois par événement : une bulle par fin,
/// une par capture qui se tait. Une pièce qui part seule quand d'autres jouent n'en fait pas :
/// l'envoi continue, le panneau seul le dit. Fil principal.
class AvisFinEnvoi {
 public:
  /// `locale` vide : la locale courante.
  AvisFinEnvoi(const std::shared_ptr<ModeleLink>& modele,
               std::shared_ptr<NotificationsBureau> bureau,
               std::function<std::string()> locale = {});
  AvisFinEnvoi(const AvisFinEnvoi&) = delete;
  AvisFinEnvoi& operator=(const AvisFinEnvoi&) = delete;

 private:
  void relire();

  std::weak_ptr<ModeleLink> modele_;
  std::shared_ptr<NotificationsBureau> bureau_;
  std::function<std::string()> locale_;
  ChercheurRavlo::Resultat::Cas resultat_ = ChercheurRavlo::Resultat::Cas::aucun;
  bool captureMuette_ = false;
  Abonnement suiviChercheur_, suiviDiffusion_;
};

}  // namespace ravlo
