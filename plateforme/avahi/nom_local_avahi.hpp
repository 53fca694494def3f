// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>
#include <string>

namespace ravlo {

/// Le nom de cette machine sur le lien local (« salon.local ») tel que le démon Avahi le
/// publie, ou rien quand il ne tourne pas. Une question au démon par D-Bus, sans attente :
/// à appeler hors d'un fil temps réel.
[[nodiscard]] std::optional<std::string> nomLocalAvahi();

}  // namespace ravlo
