// SPDX-License-Identifier: MPL-2.0
#pragma once

namespace ravlo {

/// Donne aux vues dessinées (interrupteur, carte d'appareil) leur rôle et leur état pour les
/// technologies d'assistance : case à cocher dont la valeur dit « activé » ou
/// « désactivé », élément sélectionné. Idempotent ; fil principal.
void installerAccessibiliteLink();

}  // namespace ravlo
