// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>

#include "protocol/base/octets.hpp"
#include "protocol/base/verrou.hpp"
#include "protocol/scellement/enveloppe.hpp"
#include "protocol/scellement/fenetre_rejeu.hpp"

namespace ravlo {

/// Ce qu'une enveloppe authentique et fraîche contenait.
struct Ouvert {
  SorteEnveloppe sorte;
  Octets contenu;
  bool estLePlusRecent;  ///< son compteur dépasse tous ceux acceptés avant elle
  bool operator==(const Ouvert&) const = default;
};

/// Ouvre ce qu'un côté reçoit dans un sens du lien.
///
/// Rejette, par un résultat absent et toujours le même, tout datagramme court, mal formé,
/// falsifié, rejoué ou de 64 crans ou plus sous le plus haut compteur accepté ; seul un
/// datagramme authentique et frais fait avancer la fenêtre. Sûr entre fils : la fenêtre est
/// testée avant le déchiffrement (pour épargner les rejeux) et de nouveau après, si bien que
/// deux ouvertures simultanées du même datagramme ne réussissent jamais toutes les deux.
class Ouvreur {
 public:
  explicit Ouvreur(const Cle& cle);
  ~Ouvreur();
  Ouvreur(const Ouvreur&) = delete;
  Ouvreur& operator=(const Ouvreur&) = delete;

  [[nodiscard]] std::optional<Ouvert> ouvrir(VueOctets datagramme);

 private:
  Cle cle_;
  Verrou verrou_;
  FenetreRejeu fenetre_ GARDE_PAR(verrou_);
};

}  // namespace ravlo
