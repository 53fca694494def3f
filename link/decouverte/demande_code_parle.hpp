// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "link/decouverte/dialogue_appairage.hpp"
#include "plateforme/executeur.hpp"
#include "protocol/base/point_reseau.hpp"

namespace ravlo {

/// Demande au récepteur en `point` de dire son code à voix haute (`DemandeCode`) : un seul
/// datagramme sur une connexion neuve, sans réponse à attendre (le récepteur n'en donne pas ;
/// on l'entend, ou pas). Tourne sur `plateforme.file` ; la connexion est annulée une fois le
/// datagramme traité par la pile réseau, puis `fait` est posté sur `principal`. La file et
/// `principal` vivent jusque-là.
void demanderCodeParle(const PointReseau& point, const PlateformeDialogue& plateforme,
                       Executeur& principal, Tache fait);

}  // namespace ravlo
