// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "link/app/notifications_bureau.hpp"

namespace ravlo {

/// Les bulles du bureau par org.freedesktop.Notifications sur le bus de session, sans
/// attendre la réponse. Sans bus de session (ni adresse, ni $XDG_RUNTIME_DIR/bus), rien n'est
/// tenté : libdbus lancerait sinon un bus à la volée. Fil principal.
class NotificationsDbus final : public NotificationsBureau {
 public:
  void notifier(const std::string& titre, const std::string& texte) override;
};

}  // namespace ravlo
