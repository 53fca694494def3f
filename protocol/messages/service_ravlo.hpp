// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <string_view>

namespace ravlo {

/// Type de service DNS-SD sous lequel les récepteurs s'annoncent sur le réseau local.
struct ServiceRavlo {
  static constexpr std::string_view typeService = "_ravlo._udp";

  ServiceRavlo() = delete;
};

}  // namespace ravlo
