// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QIcon>
#include <QImage>
#include <cstdint>

class QPainter;
class QRectF;

namespace ravlo {

/// Les trois aspects du badge de l'application : `repos` (rien ne part), `envoi` (le son
/// part), `probleme` (l'envoi a échoué ou part mal).
enum class EtatBadge : std::uint8_t { repos, envoi, probleme };

/// Le badge : « R! » à l'encre sur une tuile de 18 × 16 points aux coins arrondis de 5,
/// dégradé violet → sarcelle du coin haut-gauche au coin bas-droit (orange uni pour
/// `probleme`), le tout à l'opacité 0,6 au repos et 1 sinon. Dessiné dans `cadre` à
/// l'échelle, proportions gardées et centré : dans un carré de 36, la tuile fait 36 × 32.
void dessinerBadge(QPainter& peintre, const QRectF& cadre, EtatBadge etat);

/// Le badge seul, 18 × 16 points à `ratio` pixels par point (36 × 32 pixels à 2).
[[nodiscard]] QImage imageBadge(EtatBadge etat, double ratio = 2.0);

/// Le badge centré dans un carré de `cote` points, à `ratio` pixels par point : les icônes
/// du thème et de la zone de notification sont carrées.
[[nodiscard]] QImage imageBadgeCarree(EtatBadge etat, int cote, double ratio = 1.0);

/// L'icône de la zone de notification : le carré de 18 points à l'échelle 2, plus de grandes
/// tailles pour les hôtes qui en demandent.
[[nodiscard]] QIcon iconeBadge(EtatBadge etat);

}  // namespace ravlo
