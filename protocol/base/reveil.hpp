// SPDX-License-Identifier: MPL-2.0
#pragma once

#include "protocol/base/verrou.hpp"

namespace ravlo {

/// Réveille un consommateur qui tourne sur un autre fil, sans qu'il ait à guetter par une
/// minuterie. Plusieurs sonneries avant qu'il se réveille n'en font qu'une ; une sonnerie
/// pendant qu'il travaille en fait une de plus, si bien qu'aucune ne se perd.
///
/// `sonner` se fait de n'importe quel fil, temps réel compris : ni allocation, ni verrou, ni
/// attente ; seulement, au premier coup depuis le dernier réveil, une écriture non
/// bloquante qui réveille l'autre fil.
class Reveil {
 public:
  virtual ~Reveil() = default;
  virtual void sonner() = 0;
};

}  // namespace ravlo
