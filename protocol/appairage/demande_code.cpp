// SPDX-License-Identifier: MPL-2.0
#include "protocol/appairage/demande_code.hpp"

#include <variant>

#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/reprise/message_reprise.hpp"

namespace ravlo {

// Le cas qui suit ceux de la reprise sans code.
static_assert(DemandeCode::cas ==
              MessageReprise::premierCas + std::variant_size_v<MessageReprise::Contenu>);

Octets DemandeCode::donnees() {
  EcrivainOctets sortie(taille);
  MessagePasskey::ecrireEnTete(sortie, {cas, 0});
  return std::move(sortie).terminer();
}

bool DemandeCode::est(VueOctets d) {
  const auto enTete = MessagePasskey::lireEnTete(d);
  return enTete && d.size() == taille && enTete->cas == cas && enTete->tentative == 0;
}

}  // namespace ravlo
