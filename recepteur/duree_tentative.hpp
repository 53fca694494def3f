// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Combien tient une tentative d'appairage, au code comme en reprise : 10 s après son
/// ouverture, 5 s après son dernier progrès, 1,5 s quand une autre source attend. Une
/// ouverture d'une autre source se garde 8 s : au-delà, son émetteur a renoncé (son dialogue
/// dure 8 s).
template <class Message>
class DureeTentative {
 public:
  static constexpr std::uint64_t vieMaxNs = 10'000'000'000;
  static constexpr std::uint64_t silenceMaxNs = 5'000'000'000;
  static constexpr std::uint64_t silenceSiAttenteNs = 1'500'000'000;
  static constexpr std::uint64_t gardeNs = 8'000'000'000;

  void ouvrir(const Message& ouverture, InstantNs maintenant) {
    debut_ = maintenant;
    progres_ = maintenant;
    dernier_ = ouverture;
  }
  /// Seul ce qui fait avancer la tentative la prolonge, pas une retransmission.
  void avancer(const Message& message, InstantNs maintenant) {
    if (dernier_ && *dernier_ == message) return;
    dernier_ = message;
    progres_ = maintenant;
  }
  void clore() { dernier_.reset(); }
  /// `arriveeGardee` : quand l'ouverture d'une autre source est arrivée, s'il y en a une.
  [[nodiscard]] bool tient(InstantNs maintenant, std::optional<InstantNs> arriveeGardee) const {
    const bool attente = arriveeGardee && encoreGardee(maintenant, *arriveeGardee);
    return ecartNs(maintenant, debut_) < vieMaxNs &&
           ecartNs(maintenant, progres_) < (attente ? silenceSiAttenteNs : silenceMaxNs);
  }
  [[nodiscard]] static bool encoreGardee(InstantNs maintenant, InstantNs arrivee) {
    return ecartNs(maintenant, arrivee) < gardeNs;
  }

 private:
  InstantNs debut_ = 0;
  InstantNs progres_ = 0;
  std::optional<Message> dernier_;
};

}  // namespace ravlo
