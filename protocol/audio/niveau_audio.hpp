#pragma once

#include <cstdint>
#include <span>

namespace ravlo {

enum class DiagnosticNiveau : std::uint8_t { silence, saturation, exploitable };

/// Niveau d'un bloc en dBFS, jamais sous −120 ; un bloc vide ou nul donne (−120, −120).
struct NiveauAudio {
  static constexpr double plancherdBFS = -120.0;

  double cretedBFS = plancherdBFS;
  double moyennedBFS = plancherdBFS;

  /// D'après la crête seule : ≤ −60 dBFS silence, ≥ −0,1 dBFS saturation.
  [[nodiscard]] DiagnosticNiveau diagnostic() const;

  bool operator==(const NiveauAudio&) const = default;
};

/// Accumule crête et moyenne quadratique d'échantillons flottants, toutes voies confondues.
struct AnalyseNiveau {
  double crete = 0;
  double sommeCarres = 0;
  double nombre = 0;

  void ajouter(std::span<const float> echantillons);
  [[nodiscard]] NiveauAudio niveau() const;
};

}  // namespace ravlo
