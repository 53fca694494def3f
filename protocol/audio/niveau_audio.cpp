#include "protocol/audio/niveau_audio.hpp"

#include <cmath>

namespace ravlo {
namespace {

double endBFS(double lineaire) {
  // Un NaN échoue au test et tombe au plancher comme un zéro.
  if (!(lineaire > 0)) return NiveauAudio::plancherdBFS;
  const double db = 20.0 * std::log10(lineaire);
  return db < NiveauAudio::plancherdBFS ? NiveauAudio::plancherdBFS : db;
}

}  // namespace

DiagnosticNiveau NiveauAudio::diagnostic() const {
  if (cretedBFS <= -60.0) return DiagnosticNiveau::silence;
  if (cretedBFS >= -0.1) return DiagnosticNiveau::saturation;
  return DiagnosticNiveau::exploitable;
}

void AnalyseNiveau::ajouter(std::span<const float> echantillons) {
  for (const float x : echantillons) {
    const double a = std::fabs(static_cast<double>(x));
    if (a > crete) crete = a;
    sommeCarres += a * a;
    nombre += 1;
  }
}

NiveauAudio AnalyseNiveau::niveau() const {
  const double rms = nombre > 0 ? std::sqrt(sommeCarres / nombre) : 0.0;
  return NiveauAudio{endBFS(crete), endBFS(rms)};
}

}  // namespace ravlo
