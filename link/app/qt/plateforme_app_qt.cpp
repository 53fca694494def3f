// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/plateforme_app_qt.hpp"

#include <QCoreApplication>

#include "link/app/qt/reglages_bureau.hpp"

namespace ravlo {

void PlateformeAppQt::ouvrirReglages() {
  ravlo::ouvrirReglages(SujetReglages::reseau);
}

void PlateformeAppQt::quitter() {
  QCoreApplication::quit();
}

}  // namespace ravlo
