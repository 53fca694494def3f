// SPDX-License-Identifier: MPL-2.0
#include "recepteur/suivi_decalage.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

namespace ravlo {

namespace {

struct Point {
  double t = 0;  ///< ns, relatif à l'instant lu
  double y = 0;  ///< ns, relatif au premier échange
};

// Le bas d'un nuage de points (instants croissants), lu à t = 0. Sa pente va du plus bas du
// tiers le plus ancien au plus bas du tiers le plus récent, un tiers de fenêtre au moins l'un
// de l'autre ; sa hauteur, du plus bas des récents une fois la pente retirée : une pente fausse
// de e se paie de e fois l'âge du point qui porte la hauteur.
double basDuNuage(std::span<const Point> points, double penteMax, bool avecPente) {
  const double debut = points.front().t;
  const double fin = points.back().t;
  const double tiers = (fin - debut) / 3;
  double pente = 0;
  if (avecPente) {
    const Point* ancien = &points.front();
    const Point* recent = &points.back();
    for (const auto& p : points) {
      if (p.t <= debut + tiers && p.y < ancien->y) ancien = &p;
      if (p.t >= fin - tiers && p.y < recent->y) recent = &p;
    }
    if (recent->t > ancien->t)
      pente = std::clamp((recent->y - ancien->y) / (recent->t - ancien->t), -penteMax, penteMax);
  }
  const double depuis = avecPente ? fin - tiers : debut;
  double valeur = points.back().y - pente * points.back().t;
  for (const auto& p : points)
    if (p.t >= depuis) valeur = std::min(valeur, p.y - pente * p.t);
  return valeur;
}

}  // namespace

void SuiviDecalage::noter(const SynchroHorloges::Echange& echange) {
  if (!echanges_.empty()) {
    const std::int64_t reference =
        decalageNs(echange.reception).value_or(echanges_.back().decalage);
    const double saut =
        std::abs(static_cast<double>(echange.decalage) - static_cast<double>(reference));
    if (saut > static_cast<double>(SynchroHorloges::sautRedemarrageNs)) echanges_.clear();
  }
  echanges_.push_back(echange);
  while (echanges_.size() > gardesMax ||
         ecartSigneNs(echange.reception, echanges_.front().reception) >
             static_cast<std::int64_t>(fenetreNs))
    echanges_.pop_front();
}

std::optional<std::int64_t> SuiviDecalage::decalageNs(InstantNs maintenant) const {
  if (echanges_.empty() || ecartSigneNs(maintenant, echanges_.back().reception) >
                               static_cast<std::int64_t>(SynchroHorloges::fraicheurNs))
    return std::nullopt;
  // Chaque sens à part : l'aller vu d'ici (heure du pair à l'arrivée moins heure locale au
  // départ) est le décalage plus son délai, le retour le délai moins le décalage. Le bas de
  // chaque nuage est son délai sans gigue ; leur demi-différence, le décalage.
  std::array<Point, gardesMax> aller;
  std::array<Point, gardesMax> retour;
  const std::int64_t origine = echanges_.front().decalage;
  std::size_t n = 0;
  for (const auto& e : echanges_) {
    const auto t = static_cast<double>(ecartSigneNs(e.reception, maintenant));
    const auto d = static_cast<double>(e.decalage - origine);
    const double demi = static_cast<double>(e.allerRetour) / 2;
    aller[n] = {t, d + demi};
    retour[n] = {t, demi - d};
    ++n;
  }
  const bool etendue = ecartSigneNs(echanges_.back().reception, echanges_.front().reception) >=
                       static_cast<std::int64_t>(etendueDroiteNs);
  const double basAller = basDuNuage(std::span(aller).first(n), deriveMax, etendue);
  const double basRetour = basDuNuage(std::span(retour).first(n), deriveMax, etendue);
  return origine + std::llround((basAller - basRetour) / 2);
}

}  // namespace ravlo
