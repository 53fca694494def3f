// SPDX-License-Identifier: MPL-2.0
#include "link/app/page_accueil.hpp"

#include "protocol/textes/textes.hpp"

namespace ravlo {

PageAccueil PageAccueil::depuis(bool commence, const ModeleLink& modele, std::string_view locale) {
  using Reseau = ChercheurRavlo::EtatReseau::Cas;
  if (!commence) return {};
  const auto& reseau = modele.chercheur().etatReseau();
  const std::string titre = ravlo::texte("Il manque un service", locale);
  if (reseau.cas == Reseau::attente || reseau.cas == Reseau::echec) {
    return {Cas::refus, titre, reseau.texte(locale), false};
  }
  if (modele.sondeDuSon() == false) {
    return {Cas::refus, titre,
            ravlo::texte("Sans serveur de son qui le laisse capter, Ravlo Link ne peut rien "
                         "envoyer. Vérifie que PulseAudio ou PipeWire (avec pipewire-pulse) tourne "
                         "dans ta session, puis relance Ravlo Link.",
                         locale),
            true};
  }
  if (modele.sondeDuSon() == true && reseau.cas == Reseau::actif) return {Cas::pret, {}, {}, false};
  return {Cas::verifications, {}, {}, false};
}

}  // namespace ravlo
