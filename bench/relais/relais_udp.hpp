// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace ravlo::boucle {

/// Relais UDP de la boucle locale qui perd, retarde et désordonne : le noyau de ces
/// machines n'a pas netem. Les décisions (perte, retard) suivent une graine, si bien qu'une
/// même graine perd les mêmes datagrammes. Le client parle au port du relais ; le relais
/// transmet à `portDestination` et renvoie les réponses au dernier client entendu.
class RelaisUDP {
 public:
  struct Reglages {
    double perte = 0;                    ///< probabilité de perte, chaque sens
    std::chrono::microseconds delai{0};  ///< retard de base
    std::chrono::microseconds gigue{0};  ///< retard supplémentaire uniforme dans [0, gigue]
    std::uint64_t graine = 1;
    /// Coupures : tout est perdu, dans les deux sens, pendant `coupureDuree` à la fin de
    /// chaque période `coupureToutes` comptée depuis la création (0 : jamais).
    std::chrono::milliseconds coupureToutes{0};
    std::chrono::milliseconds coupureDuree{0};
  };

  RelaisUDP(std::uint16_t portDestination, Reglages reglages);
  ~RelaisUDP();
  RelaisUDP(const RelaisUDP&) = delete;
  RelaisUDP& operator=(const RelaisUDP&) = delete;

  [[nodiscard]] std::uint16_t port() const;
  [[nodiscard]] std::uint64_t perdus() const;
  [[nodiscard]] std::uint64_t transmis() const;
  /// Coupure à la main, dans les deux sens, en plus des coupures réglées.
  void couper(bool coupe);
  /// Les derniers datagrammes (256 au plus) transmis du client vers la destination : de quoi
  /// rejouer du vrai trafic.
  [[nodiscard]] std::vector<std::vector<std::uint8_t>> derniersAller() const;

  struct Etat;

 private:
  std::unique_ptr<Etat> etat_;
};

}  // namespace ravlo::boucle
