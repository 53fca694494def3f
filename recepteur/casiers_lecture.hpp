// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "protocol/audio/format_flux.hpp"
#include "protocol/base/instant.hpp"
#include "protocol/messages/message_groupe.hpp"

namespace ravlo {

/// `a − b` entre numéros de séquence, qui font le tour de 2³².
[[nodiscard]] inline std::int32_t ecartSequence(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::int32_t>(a - b);
}

/// Les casiers de la file de lecture, un par numéro de séquence modulo `nombre`, chacun tenant
/// un paquet désentrelacé en flottants. Alloués une fois, 5,2 Mio.
///
/// Le fil de rendu seul y touche.
class CasiersLecture {
 public:
  static constexpr std::int64_t nombre = MessageGroupe::casiersFile;
  static constexpr std::int64_t tramesMax = static_cast<std::int64_t>(flux::tramesParPaquet);

  struct Casier {
    std::uint32_t sequence = 0;
    bool present = false;
    std::int64_t trames = 0;
    InstantNs captureNs = 0;
    std::array<float, tramesMax> gauche{};
    std::array<float, tramesMax> droite{};
  };

  /// Une trame de la file : le casier d'un numéro, et combien de ses trames précèdent.
  struct Position {
    std::uint32_t casier = 0;
    std::int64_t decalage = 0;
  };

  CasiersLecture() : casiers_(std::make_unique<Casier[]>(static_cast<std::size_t>(nombre))) {}

  [[nodiscard]] Casier& operator[](std::uint32_t sequence) {
    return casiers_[sequence % static_cast<std::uint32_t>(nombre)];
  }
  [[nodiscard]] const Casier& operator[](std::uint32_t sequence) const {
    return casiers_[sequence % static_cast<std::uint32_t>(nombre)];
  }
  [[nodiscard]] bool present(std::uint32_t sequence) const {
    const Casier& c = (*this)[sequence];
    return c.present && c.sequence == sequence;
  }
  /// Range un paquet entrelacé (gauche, droite, …) de `trames` trames.
  void ranger(std::uint32_t sequence, InstantNs captureNs, std::int64_t trames,
              std::span<const std::int16_t> entrelace);
  /// Vide le casier de `sequence`, s'il le tient encore.
  void liberer(std::uint32_t sequence) {
    if (Casier& c = (*this)[sequence]; c.sequence == sequence) c.present = false;
  }
  void toutLiberer();
  /// Trames reçues d'affilée depuis `depuis`, comptées jusqu'à `jusqua` au moins.
  [[nodiscard]] std::int64_t contigu(Position depuis, std::int64_t jusqua) const;
  /// Copie en `dest` (entrelacé) jusqu'à taille ÷ 2 trames reçues d'affilée depuis `depuis` ;
  /// rend le nombre copié.
  std::int64_t copier(Position depuis, std::span<float> dest) const;

 private:
  const std::unique_ptr<Casier[]> casiers_;
};

}  // namespace ravlo
