// SPDX-License-Identifier: MPL-2.0
#pragma once

namespace ravlo {

/// Initialise libsodium une seule fois, sans course, avant tout usage. Sans elle il n'y a
/// ni hasard sûr ni chiffrement : un échec arrête le programme.
void assurerSodium();

}  // namespace ravlo
