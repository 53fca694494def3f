// SPDX-License-Identifier: MPL-2.0
#include "recepteur/recherche_phase.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "recepteur/fondu_enchaine.hpp"

namespace ravlo {

std::int64_t sautEnPhase(const CasiersLecture& casiers, CasiersLecture::Position tete,
                         std::int64_t tramesPaquet, std::int64_t saut, std::int64_t plafond) {
  constexpr std::int64_t n = FonduEnchaine::trames;
  std::array<float, 2 * n> quitte{};
  if (casiers.copier(tete, quitte) < n) return saut;
  const std::int64_t bas = std::max<std::int64_t>(saut - ecartPhaseMax, 1);
  const std::int64_t haut = std::min(saut + ecartPhaseMax, plafond);
  if (haut <= bas) return saut;
  std::array<float, 2 * (2 * ecartPhaseMax + 1 + n)> fenetre{};
  const std::int64_t lus =
      casiers.copier(apres(tete, bas, tramesPaquet),
                     std::span(fenetre).first(static_cast<std::size_t>(2 * (haut - bas + n))));
  double energieQuitte = 0;
  for (const float x : quitte) energieQuitte += static_cast<double>(x) * x;
  if (energieQuitte < 1e-9 || lus < n) return saut;
  // L'énergie de la fenêtre glisse d'une trame à l'autre.
  double energie = 0;
  for (std::int64_t i = 0; i < 2 * n; ++i)
    energie += static_cast<double>(fenetre[static_cast<std::size_t>(i)]) *
               fenetre[static_cast<std::size_t>(i)];
  std::int64_t meilleur = saut;
  double meilleureRessemblance = -2;
  for (std::int64_t k = 0; k + n <= lus; ++k) {
    if (k > 0) {
      for (const std::int64_t i : {2 * (k - 1), 2 * (k - 1) + 1}) {
        const double sort = fenetre[static_cast<std::size_t>(i)];
        const double entre = fenetre[static_cast<std::size_t>(i + 2 * n)];
        energie += entre * entre - sort * sort;
      }
    }
    double produit = 0;
    for (std::int64_t i = 0; i < 2 * n; ++i)
      produit += static_cast<double>(quitte[static_cast<std::size_t>(i)]) *
                 fenetre[static_cast<std::size_t>(2 * k + i)];
    const double ressemblance = produit / std::sqrt(energieQuitte * std::max(energie, 1e-12));
    const std::int64_t candidat = bas + k;
    if (ressemblance > meilleureRessemblance + 1e-6 ||
        (ressemblance > meilleureRessemblance - 1e-6 &&
         std::abs(candidat - saut) < std::abs(meilleur - saut))) {
      meilleureRessemblance = std::max(ressemblance, meilleureRessemblance);
      meilleur = candidat;
    }
  }
  return meilleur;
}

}  // namespace ravlo
