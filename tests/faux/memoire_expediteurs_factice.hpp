// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <map>

#include "recepteur/carnet_expediteurs.hpp"
#include "recepteur/memoire_expediteurs.hpp"

namespace ravlo::faux {

/// Un carnet en mémoire, sur une horloge murale qu'on avance à la main ; compte les
/// recherches.
class MemoireExpediteursFactice final : public MemoireExpediteurs {
 public:
  std::optional<Paire> chercher(const IdentifiantPaire& id) override {
    ++recherches;
    const ExpediteurMemorise* e = carnet.chercher(id);
    if (e == nullptr) return std::nullopt;
    return Paire{e->paire, e->nom};
  }
  void retenir(const SecretPaire& secret, const std::string& nom) override {
    carnet.retenir(secret, nom, secondes);
  }
  void noterVenue(const IdentifiantPaire& id) override { carnet.noterVenue(id, secondes); }

  CarnetExpediteurs carnet;
  std::int64_t secondes = 1'700'000'000;
  int recherches = 0;
};

}  // namespace ravlo::faux
