// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Les deux horloges du programme. `hoteNs` : horloge monotone brute de l'hôte, celle de
/// toute heure d'audio et de réseau (elle s'arrête pendant la veille). `continueNs` :
/// horloge qui continue pendant la veille, pour les délais et les échéances.
/// Les tests la remplacent par une horloge manuelle.
class Horloge {
 public:
  virtual ~Horloge() = default;
  [[nodiscard]] virtual InstantNs hoteNs() const = 0;
  [[nodiscard]] virtual InstantNs continueNs() const = 0;
};

/// CLOCK_MONOTONIC_RAW et CLOCK_BOOTTIME.
class HorlogeSysteme final : public Horloge {
 public:
  [[nodiscard]] InstantNs hoteNs() const override;
  [[nodiscard]] InstantNs continueNs() const override;
};

/// L'horloge de l'hôte, lue là où aucun objet `Horloge` n'est à portée (rappels temps réel).
[[nodiscard]] InstantNs hoteNs();

/// L'horloge système partagée par les propriétaires qui n'en reçoivent pas d'autre.
[[nodiscard]] const Horloge& horlogeSysteme();

}  // namespace ravlo
