// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "link/app/notifications_bureau.hpp"

namespace ravlo {

/// Garde chaque bulle demandée, titre et texte.
class NotificationsEnregistreuses final : public NotificationsBureau {
 public:
  void notifier(const std::string& titre, const std::string& texte) override {
    bulles.emplace_back(titre, texte);
  }

  std::vector<std::pair<std::string, std::string>> bulles;
};

}  // namespace ravlo
