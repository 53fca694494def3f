// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <vector>

#include "faux/connexion_factice.hpp"
#include "protocol/scellement/liaison.hpp"

namespace ravlo::essai {

inline Cle cle(std::uint8_t octet) {
  Cle c;
  c.fill(octet);
  return c;
}

/// Le récepteur d'en face de la pièce `n` (0, 1, 2…) : l'envoi scelle vers lui sous la clé
/// 2n+1, lui répond sous 2n+2.
struct EnFace {
  explicit EnFace(std::uint8_t n)
      : liaison(Liaison::nouvelle(cle(2 * n + 1), cle(2 * n + 2))),
        ouvreur(cle(2 * n + 1)),
        scelleur(cle(2 * n + 2)) {}

  /// Ce que `c` a envoyé de sorte `sorte` et que ses clés ouvrent ; `c` oublie tous ses envois.
  std::vector<Octets> recus(faux::ConnexionFactice& c, SorteEnveloppe sorte) {
    std::vector<Octets> contenus;
    for (const Octets& d : c.envoyes)
      if (auto o = ouvreur.ouvrir(d); o && o->sorte == sorte) contenus.push_back(o->contenu);
    c.envoyes.clear();
    return contenus;
  }
  /// Faux si `c` n'écoute pas.
  bool dire(faux::ConnexionFactice& c, VueOctets contenu, SorteEnveloppe sorte) {
    return c.livrer(*scelleur.sceller(contenu, sorte));
  }

  Liaison liaison;
  Ouvreur ouvreur;
  Scelleur scelleur;
};

}  // namespace ravlo::essai
