// SPDX-License-Identifier: MPL-2.0
#pragma once

// Outils des cibles de fuzzing : l'arrêt sur invariant rompu et, pour l'appairage, les
// messages qu'un pair hostile ou un réseau abîmé peut présenter à un automate d'appairage :
// décodés d'octets quelconques, fabriqués champ par champ (tentative juste ou non, rang de
// 0 à 255, champs de toute longueur), rejoués ou altérés depuis l'historique du fil.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "protocol/appairage/code_appairage.hpp"
#include "protocol/appairage/message_passkey.hpp"

namespace ravlo {

/// Un invariant rompu arrête la cible : libFuzzer garde l'entrée fautive.
inline void exiger(bool condition) {
  if (!condition) std::abort();
}

inline CodeAppairage codeDe(std::uint16_t valeur) {
  return *CodeAppairage::depuisSaisie(std::to_string(10000 + valeur % 10000).substr(1));
}

class MessagesHostiles {
 public:
  explicit MessagesHostiles(FuzzedDataProvider& fdp) : fdp_(fdp) {}

  /// Retient un message passé sur le fil, pour le rejouer ou l'altérer.
  void retenir(const MessagePasskey& m) {
    if (historique_.size() < 256) historique_.push_back(m);
  }

  /// Un message hostile ; `tentative` est celle qu'un message juste porterait.
  std::optional<MessagePasskey> suivant(std::uint64_t tentative) {
    switch (fdp_.ConsumeIntegralInRange(0, 3)) {
      case 0: {
        const std::string brut = fdp_.ConsumeRandomLengthString(200);
        const auto m = MessagePasskey::decoder(
            VueOctets(reinterpret_cast<const std::uint8_t*>(brut.data()), brut.size()));
        if (!m) return std::nullopt;
        return *m;
      }
      case 1:
        return fabrique(tentative);
      case 2:
        if (historique_.empty()) return std::nullopt;
        return historique_[fdp_.ConsumeIntegralInRange<std::size_t>(0, historique_.size() - 1)];
      default:
        return altere();
    }
  }

 private:
  Octets octets() {
    const std::size_t n = fdp_.ConsumeBool() ? fdp_.PickValueInArray({16, 32})
                                             : fdp_.ConsumeIntegralInRange<std::size_t>(0, 40);
    return fdp_.ConsumeBytes<std::uint8_t>(n);
  }

  MessagePasskey fabrique(std::uint64_t tentative) {
    const std::uint64_t t =
        fdp_.ConsumeBool() ? tentative : tentative + fdp_.ConsumeIntegral<std::uint8_t>();
    const auto rang = fdp_.ConsumeBool() ? fdp_.ConsumeIntegralInRange<std::uint8_t>(0, 13)
                                         : fdp_.ConsumeIntegral<std::uint8_t>();
    switch (fdp_.ConsumeIntegralInRange(0, 5)) {
      case 0:
        return MessagePasskey::debut(t, octets(), fdp_.ConsumeRandomLengthString(140));
      case 1:
        return MessagePasskey::cle(t, octets());
      case 2:
        return MessagePasskey::engagement(t, rang, octets());
      case 3:
        return MessagePasskey::devoilement(t, rang, octets());
      case 4:
        return MessagePasskey::confirmation(t, octets());
      default:
        return MessagePasskey::refus(t);
    }
  }

  std::optional<MessagePasskey> altere() {
    if (historique_.empty()) return std::nullopt;
    Octets d =
        historique_[fdp_.ConsumeIntegralInRange<std::size_t>(0, historique_.size() - 1)].donnees();
    d[fdp_.ConsumeIntegralInRange<std::size_t>(0, d.size() - 1)] ^=
        fdp_.ConsumeIntegralInRange<std::uint8_t>(1, 255);
    const auto m = MessagePasskey::decoder(d);
    if (!m) return std::nullopt;
    return *m;
  }

  FuzzedDataProvider& fdp_;
  std::vector<MessagePasskey> historique_;
};

}  // namespace ravlo
