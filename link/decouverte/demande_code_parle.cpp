// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/demande_code_parle.hpp"

#include "protocol/appairage/demande_code.hpp"

namespace ravlo {

void demanderCodeParle(const PointReseau& point, const PlateformeDialogue& plateforme,
                       Executeur& principal, Tache fait) {
  // La file n'est pas retenue par sa propre tâche : c'est à l'appelant de la tenir en vie.
  File& file = *plateforme.file;
  file.poster([point, &file, connexions = plateforme.connexions, &principal,
               fait = std::move(fait)]() mutable {
    auto connexion = connexions->creer(point, file);
    connexion->demarrer();
    connexion->envoyer(DemandeCode::donnees(), [connexion, &principal, fait]() mutable {
      connexion->annuler();
      if (fait) principal.poster(std::move(fait));
    });
  });
}

}  // namespace ravlo
