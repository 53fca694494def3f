// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>

#include "bench/recepteur_appaire.hpp"
#include "recepteur/recepteur.hpp"

namespace ravlo::simulation {

/// Un vrai `Recepteur` et sa file, appairé à l'émetteur simulé : la simulation lui passe ce
/// que le réseau livre, le tic et le rendu, comme le fait le service, et l'émetteur ne parle
/// avec lui que par enveloppes scellées, sous `liaison`. Ce que le récepteur câble (estimation de
/// l'horloge, pilote, messages de groupe) y est donc tel qu'il l'est dans le programme.
struct RecepteurSimule {
  RecepteurSimule()
      : lecture(std::make_shared<FileLecture>(PiloteFile::amorceDepartTrames, true)),
        recepteur(reglagesAppaires(), lecture),
        liaison(appairer(recepteur)) {}

  /// Le contenu scellé tel que l'émetteur l'envoie.
  [[nodiscard]] Octets sceller(VueOctets contenu, SorteEnveloppe sorte) const {
    return *liaison.scelleur->sceller(contenu, sorte);
  }
  void recevoir(VueOctets scelle, InstantNs maintenant) {
    recepteur.recevoir(scelle, sourceAppairee, maintenant);
  }

  std::shared_ptr<FileLecture> lecture;
  Recepteur recepteur;
  Liaison liaison;  ///< celle de l'émetteur
};

}  // namespace ravlo::simulation
