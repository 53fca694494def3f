#include "link/app/page_accueil.hpp"

#include "protocol/textes/textes.hpp"

namespace ravlo {

PageAccueil PageAccueil::depuis(bool commence, const ModeleLink& modele, std::string_view locale) {
  using Reseau = ChercheurRavlo::EtatReseau::Cas;
  if (!commence) return {};
  const auto& reseau = modele.chercheur().etatReseau();
  const std::string titre = ravlo::texte("Il manque une autorisation", locale);
  if (reseau.cas == Reseau::attente || reseau.cas == Reseau::echec) {
    return {Cas::refus, titre, reseau.texte, false};
  }
  if (modele.sondeDuSon() == false) {
    return {Cas::refus, titre,
            ravlo::texte("Sans « Enregistrement de l'écran et des sons du système », Ravlo Link ne "
                         "peut rien envoyer. Active-le dans Réglages Système → Confidentialité et "
                         "sécurité.",
                         locale),
            true};
  }
  if (modele.sondeDuSon() == true && reseau.cas == Reseau::actif) return {Cas::pret, {}, {}, false};
  return {Cas::autorisations, {}, {}, false};
}

}  // namespace ravlo
