// SPDX-License-Identifier: MPL-2.0
#include "protocol/lecture/mesure_latence.hpp"

namespace ravlo {
namespace {

void accumuler(InstantNs debutNs, InstantNs finNs, double& somme, std::int64_t& nombre,
               std::int64_t parMoyenne, std::optional<double>& moyenne) {
  const std::int64_t d = ecartSigneNs(finNs, debutNs);
  if (d > MesureLatence::ecartMaximalNs || d < -MesureLatence::ecartMaximalNs) return;
  somme += static_cast<double>(d) / 1e6;
  if (++nombre >= parMoyenne) {
    moyenne = somme / static_cast<double>(nombre);
    somme = 0;
    nombre = 0;
  }
}

}  // namespace

void MesureLatence::noterRendu(InstantNs debutNs, InstantNs finNs) {
  accumuler(debutNs, finNs, sommeLatence_, nombreRendus_, rendusParMoyenne, latenceMs_);
}

void MesureLatence::noterArrivee(InstantNs debutNs, InstantNs finNs) {
  accumuler(debutNs, finNs, sommeJusquAuRecepteur_, nombreArrivees_, arriveesParMoyenne,
            jusquAuRecepteurMs_);
}

}  // namespace ravlo
