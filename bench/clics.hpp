// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace ravlo::mesure {

// Les clics du signal de mesure_bout_a_bout (0,8 à 3 kHz sur un ton à 0,02), repérés à la
// fraction d'échantillon près : l'heure d'un clic est celle où sa valeur absolue franchit le
// seuil, interpolée entre les deux échantillons qui l'encadrent. Un clic repéré à l'échantillon
// près garderait jusqu'à 21 µs d'erreur, autant que l'écart visé entre deux pièces ; la pente
// du clic au seuil (0,3 par échantillon) ramène celle de l'interpolation sous 0,02 échantillon.
// Seul compte l'instant relatif : deux arrivées du même clic franchissent le seuil au même
// point de sa forme.
struct ReperageClics {
  static constexpr double seuil = 0.25;
  static constexpr std::int64_t refractaire = 9'600;  // 0,2 s : la traîne d'un clic

  double precedent = 0;  // le dernier échantillon vu, d'un bloc à l'autre
  std::int64_t dernier = -1'000'000;
  std::vector<double> positions;  // en trames, fraction comprise

  void echantillon(std::int64_t position, double x) {
    const double a = std::fabs(precedent);
    const double b = std::fabs(x);
    precedent = x;
    if (b <= seuil || position - dernier <= refractaire) return;
    // Tenu dans [0, 1] : un échantillon précédent déjà au-dessus (le bord de la fenêtre
    // réfractaire) date le clic de l'échantillon lui-même.
    const double fraction = a < seuil ? std::clamp((seuil - a) / (b - a), 0.0, 1.0) : 1.0;
    positions.push_back(static_cast<double>(position - 1) + fraction);
    dernier = position;
  }

  // L'échantillon de chaque franchissement, comme AnalyseTon::bilan les attend.
  [[nodiscard]] std::vector<std::int64_t> entiers() const {
    std::vector<std::int64_t> v;
    v.reserve(positions.size());
    for (const double p : positions) v.push_back(static_cast<std::int64_t>(std::ceil(p)));
    return v;
  }
};

// Le centile p (0 à 100) au rang supérieur ; NaN sans valeur.
inline double centile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const auto rang = std::ceil(p / 100 * static_cast<double>(v.size())) - 1;
  const auto i = static_cast<std::size_t>(std::clamp(rang, 0.0, static_cast<double>(v.size() - 1)));
  return v[i];
}

// Pour chaque clic parti (heures en ms, croissantes), le retard du premier clic arrivé dans la
// fenêtre qui suit (5 ms de tolérance avant : le bruit de datation), ou rien. Chaque arrivée ne
// sert qu'une fois. Au-delà de la période des clics, l'appariement serait ambigu.
inline std::vector<std::optional<double>> apparier(const std::vector<double>& partis,
                                                   const std::vector<double>& arrives,
                                                   double fenetreMs) {
  std::vector<std::optional<double>> retards;
  retards.reserve(partis.size());
  std::size_t j = 0;
  for (const double t : partis) {
    while (j < arrives.size() && arrives[j] < t - 5) ++j;
    if (j < arrives.size() && arrives[j] - t < fenetreMs) {
      retards.emplace_back(arrives[j] - t);
      ++j;
    } else {
      retards.emplace_back();
    }
  }
  return retards;
}

inline std::vector<double> presents(const std::vector<std::optional<double>>& retards) {
  std::vector<double> v;
  v.reserve(retards.size());
  for (const auto& r : retards)
    if (r) v.push_back(*r);
  return v;
}

// L'écart entre deux pièces, clic par clic : l'arrivée b moins l'arrivée a, pour chaque clic
// parti que les deux ont reçu. Un clic perdu d'un côté ne décale pas les suivants.
struct EcartPieces {
  std::vector<std::optional<double>> parClic;  // une entrée par clic parti
  std::vector<double> valeurs;                 // les écarts présents, en ms
  double medianeMs = NAN;
  double p99AbsMs = NAN;
  double maxAbsMs = NAN;

  EcartPieces(const std::vector<std::optional<double>>& a,
              const std::vector<std::optional<double>>& b) {
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
      const auto& x = a[i];
      const auto& y = b[i];
      std::optional<double> e;
      if (x && y) {
        e = *y - *x;
        valeurs.push_back(*e);
      }
      parClic.push_back(e);
    }
    if (valeurs.empty()) return;
    std::vector<double> absolus;
    absolus.reserve(valeurs.size());
    for (const double e : valeurs) absolus.push_back(std::fabs(e));
    medianeMs = centile(valeurs, 50);
    p99AbsMs = centile(absolus, 99);
    maxAbsMs = *std::max_element(absolus.begin(), absolus.end());
  }
};

}  // namespace ravlo::mesure
