#include "recepteur/suivi_decalage.hpp"

#include <algorithm>
#include <cmath>

namespace ravlo {

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
  const auto meilleur = std::min_element(echanges_.begin(), echanges_.end(), [](auto& a, auto& b) {
    return a.allerRetour < b.allerRetour;
  });
  // L'aller et le retour ne traînent pas autant : l'erreur d'un échange tient dans la moitié
  // de son aller-retour de trop. Moindres carrés pondérés sur (âge, décalage), relatifs au
  // meilleur pour rester loin des arrondis ; lus à maintenant, t = 0.
  double sw = 0, st = 0, sd = 0, stt = 0, std_ = 0;
  for (const auto& e : echanges_) {
    const double incertitude =
        static_cast<double>(e.allerRetour - meilleur->allerRetour) / 2 + incertitudePlancherNs;
    const double w = 1.0 / (incertitude * incertitude);
    const auto t = static_cast<double>(ecartSigneNs(e.reception, maintenant));
    const auto d = static_cast<double>(e.decalage - meilleur->decalage);
    sw += w;
    st += w * t;
    sd += w * d;
    stt += w * t * t;
    std_ += w * t * d;
  }
  const double mt = st / sw, md = sd / sw;
  const bool etendue = ecartSigneNs(echanges_.back().reception, echanges_.front().reception) >=
                       static_cast<std::int64_t>(etendueDroiteNs);
  const double variance = stt - st * mt;
  const double pente = etendue && variance > 0
                           ? std::clamp((std_ - st * md) / variance, -deriveMax, deriveMax)
                           : 0.0;
  return meilleur->decalage + std::llround(md - pente * mt);
}

}  // namespace ravlo
