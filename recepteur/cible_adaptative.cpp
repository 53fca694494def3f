// SPDX-License-Identifier: MPL-2.0
#include "recepteur/cible_adaptative.hpp"

#include <algorithm>
#include <cmath>

namespace ravlo {

namespace {

// Transits d'horloges sans rapport : l'écart se prend modulo 2⁶⁴.
std::int64_t ecart(std::int64_t a, std::int64_t b) {
  return ecartSigneNs(static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b));
}

}  // namespace

std::optional<std::int64_t> CibleAdaptative::reference() const {
  if (minCourant_ && minPrecedent_) return std::min(*minCourant_, *minPrecedent_);
  return minCourant_ ? minCourant_ : minPrecedent_;
}

double CibleAdaptative::noter(InstantNs fluxNs, InstantNs arriveeNs) {
  const std::int64_t transit = ecartSigneNs(arriveeNs, fluxNs);
  const auto avant = reference();
  if (avant) {
    const std::int64_t e = ecart(transit, *avant);
    if (e > static_cast<std::int64_t>(sautRedemarrageNs) ||
        e < -static_cast<std::int64_t>(sautRedemarrageNs)) {
      *this = CibleAdaptative{};  // un émetteur qui a recommencé : tout se réapprend
    }
  }
  if (!debutFenetre_ || ecartNs(arriveeNs, *debutFenetre_) >= fenetreNs) {  // l'arrivée avance
    minPrecedent_ = minCourant_;
    minCourant_.reset();
    debutFenetre_ = arriveeNs;
  }
  const std::int64_t courant = minCourant_ ? std::min(*minCourant_, transit) : transit;
  minCourant_ = courant;
  const std::int64_t apres = minPrecedent_ ? std::min(courant, *minPrecedent_) : courant;
  // La référence remonte quand sort de la fenêtre un transit trop court (des paquets en
  // rafale au démarrage, une horloge qui dérive) : les retards déjà notés se relisent contre
  // elle, sans quoi ils gonfleraient la cible une dizaine de secondes.
  if (avant && ecart(apres, *avant) > 0) {
    descendre(static_cast<double>(ecart(apres, *avant)) / 1e6, arriveeNs);
  }
  const double retard = static_cast<double>(ecart(transit, apres)) / 1e6;

  if (retard >= static_cast<double>(cases)) return retard;
  for (double& c : histogramme_) c *= oubli;
  poids_ = poids_ * oubli + (1.0 - oubli);
  histogramme_[static_cast<std::size_t>(std::max(retard, 0.0))] += 1.0 - oubli;
  return retard;
}

void CibleAdaptative::descendre(double ms, InstantNs maintenant) {
  // Le plancher du moment, pas celui du relevé : ôter `ms` de la valeur relevée, qui décroît
  // encore ensuite, ne l'abaisse que d'une fraction de `ms`.
  plancherMs_ = std::max(plancher(maintenant) - ms, 0.0);
  plancherNs_ = maintenant;
  reportMs_ += ms;
  const auto pas = static_cast<std::size_t>(std::min(reportMs_, static_cast<double>(cases)));
  if (pas == 0) return;
  reportMs_ -= static_cast<double>(pas);
  for (std::size_t i = 0; i < cases; ++i) {
    const double c = histogramme_[i];
    histogramme_[i] = 0;
    histogramme_[i > pas ? i - pas : 0] += c;
  }
}

void CibleAdaptative::relever(double retardMs, InstantNs maintenant) {
  const double actuel = this->retardMs(maintenant).value_or(0.0);
  if (retardMs <= actuel || retardMs >= static_cast<double>(cases)) return;
  // Un retard isolé (le récepteur un instant privé de processeur) ne coûte pas sa durée en
  // latence pour des dizaines de secondes : il double la couverture au plus ; répété, il est
  // couvert tout entier. Les paquets qu'un même arrêt a retenus arrivent ensemble : ils ne
  // se répètent pas, le double se compte depuis la couverture d'avant l'arrêt.
  if (!accrocNs_ ||
      ecartSigneNs(maintenant, *accrocNs_) >= static_cast<std::int64_t>(memeAccrocNs)) {
    accrocNs_ = maintenant;
    couvertAvantAccrocMs_ = actuel;
  }
  plancherMs_ = std::max(plancher(maintenant),
                         std::min(retardMs, 2 * couvertAvantAccrocMs_ + monteeMinimaleMs));
  plancherNs_ = maintenant;
}

std::optional<double> CibleAdaptative::retardMs(InstantNs maintenant) const {
  if (poids_ <= 0) return std::nullopt;
  double cumul = 0;
  double quantile = static_cast<double>(cases);
  for (std::size_t i = 0; i < cases; ++i) {
    cumul += histogramme_[i];
    if (cumul >= centile * poids_) {
      quantile = static_cast<double>(i + 1);  // le haut de la case
      break;
    }
  }
  return std::max(quantile, plancher(maintenant));
}

double CibleAdaptative::plancher(InstantNs maintenant) const {
  const double ecoule =
      static_cast<double>(std::max<std::int64_t>(ecartSigneNs(maintenant, plancherNs_), 0)) / 1e9;
  return plancherMs_ * std::exp2(-ecoule / demiViePlancherS);
}

std::optional<double> CibleAdaptative::cibleMs(double blocMs, InstantNs maintenant) const {
  const auto retard = retardMs(maintenant);
  if (!retard) return std::nullopt;
  return *retard + blocMs + margeMs;
}

}  // namespace ravlo
