// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QColor>

namespace ravlo::couleurs {

// La palette du badge, en composantes sRGB ; les vues du panneau la reprennent.
inline const QColor& encre() {
  static const QColor c = QColor::fromRgbF(0.043F, 0.039F, 0.059F);
  return c;
}
inline const QColor& violet() {
  static const QColor c = QColor::fromRgbF(0.638F, 0.521F, 1.0F);
  return c;
}
inline const QColor& sarcelle() {
  static const QColor c = QColor::fromRgbF(0.0F, 0.756F, 0.799F);
  return c;
}
inline const QColor& orange() {
  static const QColor c = QColor::fromRgbF(0.992F, 0.667F, 0.345F);
  return c;
}
// Fonds et textes du panneau sombre.
inline const QColor& fondHaut() {
  static const QColor c = QColor::fromRgbF(0.106F, 0.094F, 0.149F);
  return c;
}
inline const QColor& fondBas() {
  static const QColor c = QColor::fromRgbF(0.059F, 0.055F, 0.082F);
  return c;
}
inline const QColor& texteClair() {
  static const QColor c = QColor::fromRgbF(0.949F, 0.941F, 0.969F);
  return c;
}
inline const QColor& texteDoux() {
  static const QColor c = QColor::fromRgbF(0.949F, 0.941F, 0.969F, 0.62F);
  return c;
}
inline const QColor& carte() {
  static const QColor c = QColor::fromRgbF(1.0F, 1.0F, 1.0F, 0.06F);
  return c;
}

}  // namespace ravlo::couleurs
