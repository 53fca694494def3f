// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QWidget>

namespace ravlo {

/// Une étape numérotée de la fenêtre d'accueil : le rang dans un disque de 20 × 20 (IBM
/// Plex Mono SemiBold), puis le texte (Instrument Sans Regular), renvoyé à la ligne.
class EtapeLink final : public QWidget {
  Q_OBJECT

 public:
  EtapeLink(long long rang, const QString& texte, QWidget* parent = nullptr);
};

}  // namespace ravlo
