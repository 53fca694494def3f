// SPDX-License-Identifier: MPL-2.0
#include "plateforme/qr/code_qr.hpp"

#include <qrencode.h>

#include <memory>

namespace ravlo {

namespace {

constexpr int zoneCalme = 4;

struct LibererQr {
  void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

std::optional<CodeQr> coderQr(std::string_view texte) {
  if (texte.empty()) return std::nullopt;
  // encodeData plutôt qu'encodeString : la vue n'est pas terminée par un nul, et le mode
  // octet garde une URL telle quelle (le mode Kanji ne s'y glisse pas).
  const std::unique_ptr<QRcode, LibererQr> code(
      QRcode_encodeData(static_cast<int>(texte.size()),
                        reinterpret_cast<const unsigned char*>(texte.data()), 0, QR_ECLEVEL_M));
  if (!code) return std::nullopt;
  CodeQr resultat;
  resultat.cote = code->width;
  const auto n = static_cast<std::size_t>(code->width) * static_cast<std::size_t>(code->width);
  resultat.modules.resize(n);
  for (std::size_t i = 0; i < n; ++i) resultat.modules[i] = (code->data[i] & 1U) != 0;
  return resultat;
}

std::string qrEnTexte(const CodeQr& code) {
  const int debut = -zoneCalme;
  const int fin = code.cote + zoneCalme;
  std::string texte;
  for (int y = debut; y < fin; y += 2) {
    for (int x = debut; x < fin; ++x) {
      const bool haut = !code.noir(x, y);
      // Une rangée impaire de trop sous la zone calme reste au fond.
      const bool bas = y + 1 < fin && !code.noir(x, y + 1);
      if (haut && bas) {
        texte += "\u2588";
      } else if (haut) {
        texte += "\u2580";
      } else if (bas) {
        texte += "\u2584";
      } else {
        texte += ' ';
      }
    }
    texte += '\n';
  }
  return texte;
}

}  // namespace ravlo
