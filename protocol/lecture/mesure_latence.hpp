// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Moyennes de deux latences, en ms : de la capture à la sortie (`latenceMs`, par paquets
/// de 48 échantillons de rendu) et de la capture à l'arrivée (`jusquAuRecepteurMs`, par paquets
/// de 150 arrivées). Chaque moyenne est publiée quand son paquet est plein, puis repart de
/// zéro. Un échantillon de plus de 2 s, dans un sens ou dans l'autre, est ignoré : il vient
/// d'une horloge mal reliée, pas du réseau.
class MesureLatence {
 public:
  static constexpr std::int64_t rendusParMoyenne = 48;
  static constexpr std::int64_t arriveesParMoyenne = 150;
  static constexpr std::int64_t ecartMaximalNs = 2'000'000'000;

  /// `debutNs` : heure de capture ramenée à l'horloge locale ; `finNs` : heure de sortie.
  void noterRendu(InstantNs debutNs, InstantNs finNs);
  /// `debutNs` : heure de capture ramenée à l'horloge locale ; `finNs` : heure d'arrivée.
  void noterArrivee(InstantNs debutNs, InstantNs finNs);
  void reinitialiser() { *this = MesureLatence{}; }

  [[nodiscard]] std::optional<double> latenceMs() const { return latenceMs_; }
  [[nodiscard]] std::optional<double> jusquAuRecepteurMs() const { return jusquAuRecepteurMs_; }

 private:
  std::optional<double> latenceMs_;
  std::optional<double> jusquAuRecepteurMs_;
  double sommeLatence_ = 0;
  std::int64_t nombreRendus_ = 0;
  double sommeJusquAuRecepteur_ = 0;
  std::int64_t nombreArrivees_ = 0;
};

}  // namespace ravlo
