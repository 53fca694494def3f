// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/image_qr.hpp"

#include <algorithm>

namespace ravlo {

int pixelsParModuleQr(int cote) {
  const int total = cote + 2 * zoneCalmeQr;
  return std::max(3, (largeurQr + total - 1) / total);
}

QImage imageQr(const CodeQr& qr, int pixels) {
  const int total = qr.cote + 2 * zoneCalmeQr;
  QImage module(total, total, QImage::Format_RGB32);
  module.fill(Qt::white);
  for (int y = 0; y < qr.cote; ++y) {
    for (int x = 0; x < qr.cote; ++x) {
      if (qr.noir(x, y)) module.setPixel(x + zoneCalmeQr, y + zoneCalmeQr, qRgb(0, 0, 0));
    }
  }
  return module.scaled(total * pixels, total * pixels, Qt::IgnoreAspectRatio,
                       Qt::FastTransformation);
}

}  // namespace ravlo
