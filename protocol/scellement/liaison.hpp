// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>

#include "protocol/scellement/enveloppe.hpp"
#include "protocol/scellement/ouvreur.hpp"
#include "protocol/scellement/scelleur.hpp"

namespace ravlo {

/// Ce que produit un appairage réussi : le scelleur de ce qu'on envoie et l'ouvreur de ce
/// qu'on reçoit, chacun sous la clé de son sens. Deux liaisons sont égales quand elles
/// tiennent les mêmes objets, non des clés égales : un nouvel appairage est un autre lien.
struct Liaison {
  std::shared_ptr<Scelleur> scelleur;
  std::shared_ptr<Ouvreur> ouvreur;
  /// Le dernier message de la poignée quand le récepteur ne se lie qu'à sa réception (la
  /// preuve d'une reprise) : renvoyé tant que rien de scellé ne revient. Vide sinon.
  Octets aRenvoyer = {};

  /// Des objets neufs, dans leur état initial.
  [[nodiscard]] static Liaison nouvelle(const Cle& cleScelleur, const Cle& cleOuvreur) {
    return {std::make_shared<Scelleur>(cleScelleur), std::make_shared<Ouvreur>(cleOuvreur)};
  }

  bool operator==(const Liaison&) const = default;
};

}  // namespace ravlo
