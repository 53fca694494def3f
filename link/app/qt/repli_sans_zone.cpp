// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/repli_sans_zone.hpp"

#include "link/app/qt/panneau_link.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

RepliSansZone::RepliSansZone(PanneauLink& panneau, std::function<bool()> zoneDisponible,
                             QObject* parent)
    : QObject(parent), panneau_(panneau), zoneDisponible_(std::move(zoneDisponible)) {
  minuterie_.setInterval(2000);
  connect(&minuterie_, &QTimer::timeout, this, &RepliSansZone::verifier);
}

void RepliSansZone::demarrer() {
  verifier();
  minuterie_.start();
}

void RepliSansZone::verifier() {
  const bool zone = zoneDisponible_();
  if (zone == !enFenetre_) return;
  enFenetre_ = !zone;
  if (zone) {
    panneau_.revenirALaZone();
    return;
  }
  QString note;
  if (!noteDite_) {
    noteDite_ = true;
    note =
        texteQt(texte("Ce bureau n'a pas de zone de notification : Ravlo Link s'ouvre donc "
                      "dans cette fenêtre. Il ira dans la zone dès qu'elle apparaîtra.",
                      localeCourante()));
  }
  panneau_.ouvrirEnFenetre(note);
}

}  // namespace ravlo
