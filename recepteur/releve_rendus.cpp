// SPDX-License-Identifier: MPL-2.0
#include "recepteur/releve_rendus.hpp"

#include <algorithm>

namespace ravlo {

void ReleveRendus::noterBloc(std::int64_t trames) {
  blocs_[blocsNotes_++ % blocsRetenus] = trames;
  std::array<std::int64_t, blocsRetenus> tries = blocs_;
  const auto n = static_cast<std::ptrdiff_t>(std::min(blocsNotes_, blocsRetenus));
  std::nth_element(tries.begin(), tries.begin() + n / 2, tries.begin() + n);
  blocTrames_ = tries[static_cast<std::size_t>(n / 2)];
}

Evenements ReleveRendus::noterRendu(std::optional<InstantNs> heureNs,
                                    std::optional<InstantNs> captureNs) {
  Evenements e;
  if (!heureNs) {
    heurePerdue_ = true;
  } else if (heurePerdue_) {
    heurePerdue_ = false;
    ++reprisesHeure_;
    e.ajouter(Evenement::repriseHeure);
  }
  if (heureNs && captureNs) {
    dernierRendu_ = Rendu{*heureNs, *captureNs};
    const auto ecart = static_cast<std::int64_t>(*heureNs - *captureNs);
    if (!ecarts_.connus) {
      ecarts_.connus = true;
      ecarts_.reference = ecart;
    }
    ecarts_.somme += ecart - ecarts_.reference;
    ++ecarts_.nombre;
  }
  return e;
}

void ReleveRendus::oublierEcarts() {
  ecarts_ = Ecarts{.epoque = ecarts_.epoque + 1};
}

}  // namespace ravlo
