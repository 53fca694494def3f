// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>

#include "plateforme/connexion_datagramme.hpp"

namespace ravlo {

/// Connexions UDP réelles, sur le contexte asio de la file donnée.
class FabriqueConnexionsUDP final : public FabriqueConnexions {
 public:
  [[nodiscard]] std::shared_ptr<ConnexionDatagramme> creer(const PointReseau& point,
                                                           File& file) override;
};

}  // namespace ravlo
