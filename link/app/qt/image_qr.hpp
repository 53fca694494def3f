// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QImage>

#include "plateforme/qr/code_qr.hpp"

namespace ravlo {

/// Les modules blancs du bord, sans lesquels un lecteur ne trouve pas le code.
inline constexpr int zoneCalmeQr = 4;
/// La largeur voulue d'un code à l'écran : à bout de bras, un appareil photo de téléphone lit
/// sans peine un code de 5 cm, soit environ 200 px à 96 ppp.
inline constexpr int largeurQr = 200;

/// Pixels par module pour qu'un code de `cote` modules, zone calme comprise, fasse au moins
/// `largeurQr` px : un entier (chaque module de la même taille), jamais moins de 3.
/// 25 modules (33 avec la zone) → 7 ; 33 (41) → 5.
[[nodiscard]] int pixelsParModuleQr(int cote);

/// Le code en noir sur blanc, entouré de sa zone calme, chaque module fait de `pixels`×`pixels`
/// pixels : dessiné à un pixel par module puis agrandi sans lissage, les bords restent francs
/// (un gris de lissage trompe le seuil du lecteur).
[[nodiscard]] QImage imageQr(const CodeQr& qr, int pixels);

}  // namespace ravlo
