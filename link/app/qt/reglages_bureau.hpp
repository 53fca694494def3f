// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace ravlo {

/// Ce qu'un message demande de régler.
enum class SujetReglages : std::uint8_t { son, reseau };

/// Un outil de réglages du bureau et ses arguments.
struct OutilReglages {
  QString programme;
  QStringList arguments;
  bool operator==(const OutilReglages&) const = default;
};

/// Le premier outil qui existe (`existe(programme)`) pour ce sujet : ceux du bureau nommé
/// par `bureau` (valeur de XDG_CURRENT_DESKTOP, « KDE », « GNOME », « XFCE »…) d'abord, puis
/// les autres, puis les outils sans bureau (pavucontrol, nm-connection-editor). Aucun :
/// pas de bouton « Ouvrir les réglages ».
[[nodiscard]] std::optional<OutilReglages> choisirOutilReglages(
    SujetReglages sujet, const QString& bureau, const std::function<bool(const QString&)>& existe);

/// Le choix ci-dessus sur ce système (PATH, XDG_CURRENT_DESKTOP).
[[nodiscard]] std::optional<OutilReglages> outilReglages(SujetReglages sujet);

/// Lance l'outil détaché du programme ; faux quand aucun n'existe ou que le lancement échoue.
bool ouvrirReglages(SujetReglages sujet);

/// Ce que le panneau et l'accueil demandent aux réglages du bureau : savoir si un outil
/// existe (sinon, pas de bouton) et l'ouvrir. Les tests en donnent un faux.
struct ReglagesBureau {
  std::function<bool(SujetReglages)> existe;
  std::function<void(SujetReglages)> ouvrir;

  /// Ceux de ce système : `outilReglages` et `ouvrirReglages` ci-dessus.
  [[nodiscard]] static ReglagesBureau systeme();
};

}  // namespace ravlo
