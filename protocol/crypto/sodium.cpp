// SPDX-License-Identifier: MPL-2.0
#include "protocol/crypto/sodium.hpp"

#include <sodium.h>

#include "protocol/base/exiger.hpp"

namespace ravlo {

void assurerSodium() {
  // Une statique locale est initialisée une seule fois, même depuis plusieurs fils.
  static const bool pret = sodium_init() >= 0;
  RAVLO_EXIGER(pret);
}

}  // namespace ravlo
