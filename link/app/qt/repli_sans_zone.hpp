// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace ravlo {

class PanneauLink;

/// Un bureau sans zone de notification (GNOME sans son extension) ne montrerait rien : le
/// panneau s'ouvre alors en fenêtre ordinaire, et dit pourquoi la première fois seulement.
/// Dès qu'une zone paraît (extension activée, barre lancée), la fenêtre s'y retire ; si la
/// zone repart, la fenêtre revient. Qt ne prévient pas de ce changement : on le relit toutes
/// les 2 s. Fil principal.
class RepliSansZone final : public QObject {
  Q_OBJECT

 public:
  /// `zoneDisponible` : QSystemTrayIcon::isSystemTrayAvailable dans l'application.
  RepliSansZone(PanneauLink& panneau, std::function<bool()> zoneDisponible,
                QObject* parent = nullptr);

  /// Relit tout de suite, puis toutes les 2 s.
  void demarrer();
  /// Une lecture : passe en fenêtre, ou revient à la zone, si la zone a changé.
  void verifier();
  [[nodiscard]] bool enFenetre() const { return enFenetre_; }

 private:
  PanneauLink& panneau_;
  std::function<bool()> zoneDisponible_;
  QTimer minuterie_;
  bool enFenetre_ = false;
  bool noteDite_ = false;
};

}  // namespace ravlo
